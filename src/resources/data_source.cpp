#include "resources/data_source.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

class ZipSource : public DataSource {
public:
    explicit ZipSource(zip* archive) : archive(archive) {}
    ~ZipSource() override { zip_discard(archive); }

    int64_t locate(const char* name, uint64_t* size) override
    {
        *size = 0;
        const zip_int64_t index = zip_name_locate(archive, name, ZIP_FL_NOCASE);
        if (index < 0) {
            return -1;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            return -1;
        }
        *size = st.size;
        return index;
    }

    std::string read(int64_t index, uint64_t size, char* buffer) override
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

    std::vector<std::string> names() override
    {
        std::vector<std::string> list;
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* name = zip_get_name(archive, zip_uint64_t(i), 0);
            if (name && name[0] != '\0' && name[std::strlen(name) - 1] != '/') {
                list.emplace_back(name);
            }
        }
        return list;
    }

private:
    zip* archive;
};

// A name the folder may hold: relative, no empty, "." or ".." step, no backslash.
bool nameStaysInside(const char* name)
{
    if (!name || name[0] == '\0' || name[0] == '/' || std::strchr(name, '\\')) {
        return false;
    }
    const char* step = name;
    for (;;) {
        const char* end = std::strchr(step, '/');
        const size_t length = end ? size_t(end - step) : std::strlen(step);
        if (length == 0 || (length == 1 && step[0] == '.') || (length == 2 && step[0] == '.' && step[1] == '.')) {
            return false;
        }
        if (!end) {
            return true;
        }
        step = end + 1;
    }
}

class FolderSource : public DataSource {
public:
    explicit FolderSource(std::string path) : root(std::move(path))
    {
        std::error_code error;
        canonicalRoot = fs::canonical(root, error).string();
        rescan();
    }

    int64_t locate(const char* name, uint64_t* size) override
    {
        *size = 0;
        if (!nameStaysInside(name)) {
            return -1;
        }
        const auto it = byKey.find(entryKey(name));
        if (it == byKey.end() || !usable(entries[it->second].path)) {
            return -1;
        }
        std::error_code error;
        const uintmax_t bytes = fs::file_size(entries[it->second].path, error);
        if (error) {
            return -1;
        }
        *size = uint64_t(bytes);
        return int64_t(it->second);
    }

    std::string read(int64_t index, uint64_t size, char* buffer) override
    {
        if (index < 0 || size_t(index) >= entries.size()) {
            return "no such entry";
        }
        std::ifstream file(entries[size_t(index)].path, std::ios::binary);
        if (!file) {
            return "cannot open " + entries[size_t(index)].path.string();
        }
        file.read(buffer, std::streamsize(size));
        if (uint64_t(file.gcount()) < size) {
            return "entry shorter than its directory size";
        }
        char extra = 0;
        if (file.read(&extra, 1) && file.gcount() > 0) {
            return "entry longer than its directory size";
        }
        return std::string();
    }

    std::vector<std::string> names() override
    {
        std::vector<std::string> list;
        list.reserve(entries.size());
        for (const Entry& entry : entries) {
            list.push_back(entry.name);
        }
        return list;
    }

    void rescan() override
    {
        entries.clear();
        byKey.clear();
        std::error_code error;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            const fs::path& path = it->path();
            if (!usable(path)) {
                if (it->is_symlink(error)) {
                    it.disable_recursion_pending();  // a linked folder is not followed
                }
                continue;
            }
            std::string name = path.lexically_relative(root).generic_string();
            if (!nameStaysInside(name.c_str())) {
                continue;
            }
            entries.push_back({std::move(name), path});
        }
        // The archive's order is its own; the folder's is the names' (stable for the tests).
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        for (size_t i = 0; i < entries.size(); ++i) {
            byKey.emplace(entryKey(entries[i].name), i);  // the first of names that differ in case only
        }
    }

    std::string folder() const override { return root; }

private:
    struct Entry {
        std::string name;
        fs::path path;
    };

    // A regular file, or a link to one inside the folder.
    bool usable(const fs::path& path) const
    {
        std::error_code error;
        const fs::file_status link = fs::symlink_status(path, error);
        if (error) {
            return false;
        }
        if (fs::is_symlink(link)) {
            const std::string target = fs::canonical(path, error).string();
            if (error || canonicalRoot.empty() || target.compare(0, canonicalRoot.size(), canonicalRoot) != 0 ||
                target.size() <= canonicalRoot.size() || target[canonicalRoot.size()] != '/') {
                return false;
            }
        }
        return fs::is_regular_file(fs::status(path, error)) && !error;
    }

    std::string root;
    std::string canonicalRoot;
    std::vector<Entry> entries;
    std::unordered_map<std::string, size_t> byKey;
};

}  // namespace

std::unique_ptr<DataSource> openZipSource(const char* path)
{
    int error = 0;
    zip* archive = zip_open(path, ZIP_RDONLY, &error);
    if (!archive) {
        return nullptr;
    }
    return std::make_unique<ZipSource>(archive);
}

std::unique_ptr<DataSource> openFolderSource(const char* path)
{
    if (!isFolder(path)) {
        return nullptr;
    }
    return std::make_unique<FolderSource>(path);
}

bool isFolder(const char* path)
{
    std::error_code error;
    return path && path[0] != '\0' && fs::is_directory(path, error) && !error;
}

std::string entryKey(std::string name)
{
    for (char& c : name) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}
