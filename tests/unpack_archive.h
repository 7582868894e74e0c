// The tests' data folders: every entry of an archive written as a file below a folder,
// as a person unpacking data.zip for --data gets it.
#pragma once
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline void unpackArchive(const std::string& zipPath, const std::filesystem::path& folder)
{
    int error = 0;
    zip_t* z = zip_open(zipPath.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(z, nullptr) << zipPath;
    const zip_int64_t count = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        ASSERT_EQ(zip_stat_index(z, zip_uint64_t(i), 0, &st), 0);
        const std::string name = st.name;
        if (name.empty() || name.back() == '/') {
            continue;
        }
        std::vector<char> bytes(size_t(st.size));
        zip_file_t* f = zip_fopen_index(z, zip_uint64_t(i), 0);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(zip_fread(f, bytes.data(), st.size), zip_int64_t(st.size));
        zip_fclose(f);
        std::filesystem::create_directories((folder / name).parent_path());
        std::ofstream(folder / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    zip_discard(z);
}
