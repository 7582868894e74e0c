#include "datagen/zip_writer.h"

#include <zip.h>

#include <cstdio>

namespace datagen {
namespace {

bool alreadyCompressed(const std::string& name)
{
    auto endsWith = [&](const char* suffix) {
        std::string s(suffix);
        return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith(".ogg") || endsWith(".jpg") || endsWith(".png");
}

// 1 January 2008, 12:00 UTC: every entry carries the same stamp.
const time_t fixedTime = 1199188800;

}  // namespace

std::string writeZip(const std::string& path, const std::vector<Asset>& assets)
{
    std::string temp = path + ".tmp";
    std::remove(temp.c_str());
    int error = 0;
    zip_t* archive = zip_open(temp.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return "cannot create " + temp;
    }
    for (const Asset& asset : assets) {
        zip_source_t* source = zip_source_buffer(archive, asset.bytes.data(), asset.bytes.size(), 0);
        zip_int64_t index = source ? zip_file_add(archive, asset.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source) {
                zip_source_free(source);
            }
            std::string reason = "cannot add " + asset.name + ": " + zip_strerror(archive);
            zip_discard(archive);
            return reason;
        }
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 alreadyCompressed(asset.name) ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 6);
        zip_file_set_mtime(archive, zip_uint64_t(index), fixedTime, 0);
    }
    if (zip_close(archive) != 0) {
        std::string reason = std::string("cannot write archive: ") + zip_strerror(archive);
        zip_discard(archive);
        return reason;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        return "cannot move " + temp + " to " + path;
    }
    return std::string();
}

}  // namespace datagen
