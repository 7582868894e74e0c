// Program entry: the start-up sequence, the main loop and the shutdown.
#include "app/app.h"

int main(int argc, char** argv) { return runApplication(argc, argv); }
