#include "resources/loader.h"

#include "app/log.h"
#include "platform/platform.h"

#include <zip.h>

#include <cstring>

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
    // Sizes are 32-bit in the program's interface; larger entries are not ours.
    if (st.size > 0xffffffffu) {
        return -1;
    }
    *size = st.size;
    return index;
}

uint32_t Loader::fileSize(const char* name)
{
    uint64_t size = 0;
    if (find(name, &size) < 0) {
        CORE_LOG(" file not found: " << (name ? name : ""));
        return 0;
    }
    CORE_LOG("\nfile: " << name << " size: " << size);
    return uint32_t(size);
}

int Loader::readFile(const char* name, char** buffer)
{
    uint64_t size = 0;
    int64_t index = find(name, &size);
    if (index < 0 || !buffer || (!*buffer && size > 0)) {
        return 1;
    }
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(index), 0);
    bool ok = file != nullptr;
    if (ok) {
        uint64_t done = 0;
        while (done < size) {
            zip_int64_t n = zip_fread(file, *buffer + done, size - done);
            if (n <= 0) {
                break;
            }
            done += uint64_t(n);
        }
        ok = done == size;
        // zip_fclose reports a CRC mismatch of a fully read entry.
        ok = (zip_fclose(file) == 0) && ok;
    }
    if (!ok) {
        platform::messageBox("decompressing file error", name, platform::MessageIcon::Error);
        return 1;
    }
    return 0;
}
