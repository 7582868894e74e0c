// The log as a start-up writes it: readLines() gives a log file's lines, and
// expectSettingsThenGlStrings() checks its opening for a windowed start with vertical
// sync and no antialiasing or anisotropy: the settings lines, then the four GL strings.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// `width` x `height` is the size the settings chose.
inline void expectSettingsThenGlStrings(const std::vector<std::string>& log, int width, int height)
{
    ASSERT_GE(log.size(), 10u);
    EXPECT_EQ(log[0], "log created.");
    EXPECT_EQ(log[1], "Resolution: " + std::to_string(width) + "x" + std::to_string(height));
    EXPECT_EQ(log[2], "Fullscreen: 0");
    EXPECT_EQ(log[3], "VSync: 1");
    EXPECT_EQ(log[4], "AA samples: 0 samples");
    EXPECT_EQ(log[5], "Aniso level: x1");
    EXPECT_EQ(log[6].rfind("Renderer: ", 0), 0u);
    EXPECT_EQ(log[7].rfind("Device Vendor: ", 0), 0u);
    EXPECT_EQ(log[8].rfind("GL Version: ", 0), 0u);
    EXPECT_EQ(log[9].rfind("GL Shading Language Version: ", 0), 0u);
}
