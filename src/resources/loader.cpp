#include "resources/loader.h"

#include "base/log.h"
#include "platform/platform.h"

#include <zip.h>

#include <cstring>
#include <new>
#include <string>

Loader::~Loader() { close(); }

void Loader::open(const char* path)
{
    close();
    int error = 0;
    archive = zip_open(path, ZIP_RDONLY, &error);
    if (!archive) {
        platform::messageBox("Loader::loader", "Data file not found.", platform::MessageIcon::Error);
        opened = false;
        return;
    }
    opened = true;
}

void Loader::close()
{
    if (archive) {
        zip_discard(archive);
        archive = nullptr;
    }
    opened = false;
}

int64_t Loader::find(const char* name, uint64_t* size)
{
    *size = 0;
    if (!archive || !name || std::strlen(name) > size_t(maxNameLength)) {
        return -1;
    }
    zip_int64_t index = zip_name_locate(archive, name, ZIP_FL_NOCASE);
    if (index < 0) {
        return -1;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
        return -1;
    }
    *size = st.size;
    return st.size > maxEntrySize ? -2 : index;
}

uint32_t Loader::fileSize(const char* name)
{
    uint64_t size = 0;
    const int64_t index = find(name, &size);
    if (index == -2) {
        CORE_LOG(" file too large: " << name << " size: " << size);
        noteLoadFailure(name, "refused: its size " + std::to_string(size) + " bytes is above the limit of " +
                                  std::to_string(maxEntrySize));
        return 0;
    }
    if (index < 0) {
        CORE_LOG(" file not found: " << (name ? name : ""));
        noteLoadFailure(name ? name : "", "file not found");
        return 0;
    }
    CORE_LOG("\nfile: " << name << " size: " << size);
    return uint32_t(size);
}

std::string Loader::readEntry(int64_t index, uint64_t size, char* buffer)
{
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(index), 0);
    if (!file) {
        return zip_strerror(archive);
    }
    std::string problem;
    uint64_t done = 0;
    zip_int64_t n = 1;
    while (done < size && n > 0) {
        n = zip_fread(file, buffer + done, size - done);
        done += n > 0 ? uint64_t(n) : 0;
    }
    // libzip compares the CRC only when a read reaches the end of the entry: one
    // more read must return 0, and fails on a mismatch.
    char extra = 0;
    if (n >= 0 && done == size) {
        n = zip_fread(file, &extra, 1);
    }
    if (n < 0) {
        problem = zip_file_strerror(file);
    } else if (done < size) {
        problem = "entry shorter than its directory size";
    } else if (n > 0) {
        problem = "entry longer than its directory size";
    }
    zip_fclose(file);
    return problem;
}

int Loader::readFile(const char* name, char** buffer)
{
    uint64_t size = 0;
    int64_t index = find(name, &size);
    if (index < 0 || !buffer || (!*buffer && size > 0)) {
        return 1;
    }
    const std::string problem = readEntry(index, size, *buffer);
    if (!problem.empty()) {
        noteLoadFailure(name, "decompressing file error: " + problem);
        platform::messageBox("decompressing file error", name, platform::MessageIcon::Error);
        return 1;
    }
    return 0;
}

int Loader::readAll(const char* name, uint32_t size, std::unique_ptr<char[]>& bytes)
{
    bytes.reset(new (std::nothrow) char[size]);
    char* buffer = bytes.get();
    if (!buffer) {
        noteLoadFailure(name ? name : "", "out of memory for " + std::to_string(size) + " bytes");
        return 1;
    }
    return readFile(name, &buffer) != 0 ? 2 : 0;
}

bool Loader::readQuietly(const char* name, std::vector<char>& bytes)
{
    uint64_t size = 0;
    const int64_t index = find(name, &size);
    if (index < 0) {
        return false;
    }
    bytes.resize(size_t(size));
    return readEntry(index, size, bytes.data()).empty();
}

std::vector<std::string> Loader::entryNames(const char* prefix)
{
    std::vector<std::string> names;
    if (!archive || !prefix) {
        return names;
    }
    const size_t length = std::strlen(prefix);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, zip_uint64_t(i), 0);
        if (name && std::strncmp(name, prefix, length) == 0 && name[std::strlen(name) - 1] != '/') {
            names.emplace_back(name);
        }
    }
    return names;
}
