// The settings record and the size of the picture: the part of the process-wide Screen
// (app/screen.h) that the floors below app/ read.
//
// Screen is built on this record (it is Screen's first part), so `screenSettings` and
// `screen` are one object; app/globals.cpp binds the reference, which is usable before
// any constructor runs. The settings dialog and the options write the settings before
// the window exists; Core::initGL sets the viewport fields; everything else reads.
#pragma once

struct ScreenSettings {
    int width = 1024;
    int height = 768;
    int refreshRate = 60;
    int viewportWidth = 0;  // letterboxed 16:9 band, set by Core::initGL (not a setting)
    int viewportHeight = 0;
    bool fullscreen = true;
    bool vsync = true;
    bool showStats = false;
    bool createLog = false;
    int antialiasSamples = 0;
    float maxAnisotropy = 0.0f;
    float anisotropy = 0.0f;
    int resolutionIndex = 0;
    int soundDriver = 0;
    int outputType = 0;
};

extern ScreenSettings& screenSettings;
