#include "resources/loader.h"

#include "base/log.h"
#include "platform/platform.h"
#include "resources/data_source.h"

#include <cstring>
#include <new>
#include <string>

Loader::Loader() = default;
Loader::~Loader() { close(); }

void Loader::open(const char* path)
{
    close();
    const bool folder = isFolder(path);
    source = folder ? openFolderSource(path) : openZipSource(path);
    if (!source) {
        platform::messageBox("Loader::loader", "Data file not found.", platform::MessageIcon::Error);
        opened = false;
        return;
    }
    // Names that differ only in letter case would leave all but one of them unreachable
    // without a word: such data is refused whole, each pair named.
    if (!source->clashes().empty()) {
        std::string text = folder ? "Data folder refused:" : "Data file refused:";
        const std::vector<NameClash>& clashes = source->clashes();
        for (size_t i = 0; i < clashes.size(); ++i) {
            bool named = false;  // as the other half of a pair already in the text
            for (size_t j = 0; j < i; ++j) {
                named = named || (clashes[j].refused == clashes[i].other && clashes[j].other == clashes[i].refused);
            }
            if (!named) {
                text += (text.back() == ':' ? " " : "; ") + clashes[i].refused + " and " + clashes[i].other +
                        " differ only in letter case";
            }
        }
        CORE_LOG(" " << text);
        platform::messageBox("Loader::loader", (text + ".").c_str(), platform::MessageIcon::Error);
        source.reset();
        opened = false;
        return;
    }
    opened = true;
}

void Loader::close()
{
    source.reset();
    opened = false;
}

std::string Loader::folder() const { return source ? source->folder() : std::string(); }

const std::vector<NameClash>& Loader::nameClashes() const
{
    static const std::vector<NameClash> none;
    return source ? source->clashes() : none;
}

std::string Loader::whyAbsent(const char* name)
{
    std::string reason = source && name ? source->whyAbsent(name) : std::string();
    return reason.empty() ? "file not found" : reason;
}

void Loader::rescan()
{
    if (source) {
        source->rescan();
    }
}

int64_t Loader::find(const char* name, uint64_t* size)
{
    *size = 0;
    if (!source || !name || std::strlen(name) > size_t(maxNameLength)) {
        return -1;
    }
    const int64_t index = source->locate(name, size);
    if (index < 0) {
        *size = 0;
        return -1;
    }
    return *size > maxEntrySize ? -2 : index;
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
        const std::string reason = whyAbsent(name);
        CORE_LOG(" " << reason << ": " << (name ? name : ""));
        noteLoadFailure(name ? name : "", reason);
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
    const std::string problem = source->read(index, size, *buffer);
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
    return source->read(index, size, bytes.data()).empty();
}

std::string Loader::readChecked(const char* name, std::vector<char>& bytes)
{
    uint64_t size = 0;
    const int64_t index = find(name, &size);
    if (index == -2) {
        return "refused: its size " + std::to_string(size) + " bytes is above the limit of " +
               std::to_string(maxEntrySize);
    }
    if (index < 0) {
        return whyAbsent(name);
    }
    try {
        bytes.resize(size_t(size));  // the read fills it: no need to clear a reused buffer first
    } catch (const std::bad_alloc&) {
        return "out of memory for " + std::to_string(size) + " bytes";
    }
    return source->read(index, size, bytes.data());
}

std::vector<std::string> Loader::entryNames(const char* prefix)
{
    std::vector<std::string> names;
    if (!source || !prefix) {
        return names;
    }
    const size_t length = std::strlen(prefix);
    for (std::string& name : source->names()) {
        if (name.compare(0, length, prefix) == 0) {
            names.push_back(std::move(name));
        }
    }
    return names;
}
