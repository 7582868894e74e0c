// The diagnostic log, Core.log in the working directory.
//
// One process-wide object (coreLog, defined in globals.cpp). Nothing is written until
// create() succeeded; every writer tests `created` first and ends its line with
// std::endl (newline + flush), so each complete line is on disk at once. Use CORE_LOG:
//     CORE_LOG("Resolution: " << width << "x" << height);
//
// Beside the log, the loaders note every archive entry they could not use, log or no
// log (noteLoadFailure), so that a failed start-up can tell the person who started the
// program why on standard error (runApplication prints takeLoadFailures()); and every
// entry they used only by working around a defect (noteLoadWarning), so that a picture
// that differs from what the file meant never comes without a word.
#pragma once
#include <fstream>
#include <string>
#include <vector>

struct Log {
    bool created = false;
    std::ofstream stream;

    // Opens (truncates) the file and writes "log created.". 0 on success or when
    // already created; 1 after the "Error creating log file" box.
    int create(const char* path = "Core.log");
};

extern Log coreLog;

// Notes that the archive entry `entry` could not be used, with the reason as the log
// words it. Only the first reason per entry is kept (the most specific one: the loaders
// note the cause before the consequence). Main thread only.
void noteLoadFailure(const std::string& entry, const std::string& reason);
// Notes that `entry` was used despite a defect; `what` says what was done about it
// ("6 images in the file: only the first is used"). A failure of the same entry noted
// later takes its place. Main thread only.
void noteLoadWarning(const std::string& entry, const std::string& what);
// The notes so far as "entry: reason" lines, in the order noted, the failures' lines
// followed by `consequence` (a warning already says its own); forgets them.
// *failureCount, when given, receives how many of the lines are failures.
std::vector<std::string> takeLoadFailures(const std::string& consequence = "", size_t* failureCount = nullptr);

#define CORE_LOG(pieces)                                  \
    do {                                                  \
        if (coreLog.created) {                            \
            coreLog.stream << pieces << std::endl;        \
        }                                                 \
    } while (0)
