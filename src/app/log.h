// The diagnostic log, Core.log in the working directory.
//
// One process-wide object (coreLog, defined in globals.cpp). Nothing is written until
// create() succeeded; every writer tests `created` first and ends its line with
// std::endl (newline + flush), so each complete line is on disk at once. Use CORE_LOG:
//     CORE_LOG("Resolution: " << width << "x" << height);
#pragma once
#include <fstream>

struct Log {
    bool created = false;
    std::ofstream stream;

    // Opens (truncates) the file and writes "log created.". 0 on success or when
    // already created; 1 after the "Error creating log file" box.
    int create(const char* path = "Core.log");
};

extern Log coreLog;

#define CORE_LOG(pieces)                                  \
    do {                                                  \
        if (coreLog.created) {                            \
            coreLog.stream << pieces << std::endl;        \
        }                                                 \
    } while (0)
