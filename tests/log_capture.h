// A temporary log for tests that check log lines: open() creates the process-wide log
// at a per-process path under /tmp, text() reads everything written so far, close()
// ends the log and removes the file.
#pragma once
#include "base/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

struct LogCapture {
    std::string path;

    void open(const std::string& tag)
    {
        path = "/tmp/core_" + tag + "_" + std::to_string(getpid()) + ".log";
        ASSERT_EQ(coreLog.create(path.c_str()), 0);
    }
    std::string text() const
    {
        coreLog.stream.flush();
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void close()
    {
        coreLog.stream.close();
        coreLog.created = false;
        std::remove(path.c_str());
    }
};
