#include "base/log.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Log, NothingIsWrittenOrEvaluatedBeforeCreation)
{
    coreLog = {};
    int evaluated = 0;
    CORE_LOG("never " << ++evaluated);
    EXPECT_EQ(evaluated, 0);
}

TEST(Log, CreateWritesFirstLineAndFlushesEveryLine)
{
    std::string path = "/tmp/core_log_test_" + std::to_string(getpid()) + ".log";
    std::ofstream(path) << "old contents\n";
    coreLog = {};
    ASSERT_EQ(coreLog.create(path.c_str()), 0);
    CORE_LOG("Aniso level: x" << 8.0f);
    CORE_LOG("AA samples: " << 4 << " samples");
    // Flushed per line: readable before the stream is closed.
    EXPECT_EQ(readAll(path), "log created.\nAniso level: x8\nAA samples: 4 samples\n");
    // A second creation does nothing.
    EXPECT_EQ(coreLog.create("/nonexistent/dir/Core.log"), 0);
    coreLog.stream.close();
    coreLog.created = false;
    std::remove(path.c_str());
}

TEST(Log, UnwritableLocationFailsOnceAndStaysSilent)
{
    platform::setBatchMode(true);
    coreLog = {};
    testing::internal::CaptureStderr();
    EXPECT_EQ(coreLog.create("/nonexistent/dir/Core.log"), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Log: Error creating log file\n");
    EXPECT_FALSE(coreLog.created);
    CORE_LOG("ignored");
}
