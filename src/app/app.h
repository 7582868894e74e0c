// The program's start-up sequence, main loop and shutdown, callable from main and tests.
#pragma once

// Parses the command line and runs the demo; returns the process exit code.
int runApplication(int argc, char** argv);
