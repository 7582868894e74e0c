#include "resources/data_source.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

// Finds the names that differ only in letter case among `names` (sorted): of each such
// group the name `previous` had for its key stays (a rescan keeps what was there),
// every other is refused and listed in `clashes`; a group none of whose names was there
// before is refused whole, with its reason in `refusedKeys`. Returns which names stay.
std::vector<bool> sortOutClashes(const std::vector<std::string>& names,
                                 const std::unordered_map<std::string, std::string>& previous,
                                 std::vector<NameClash>& clashes,
                                 std::unordered_map<std::string, std::string>& refusedKeys)
{
    clashes.clear();
    refusedKeys.clear();
    std::unordered_map<std::string, std::vector<size_t>> groups;
    for (size_t i = 0; i < names.size(); ++i) {
        groups[entryKey(names[i])].push_back(i);
    }
    std::vector<bool> stays(names.size(), true);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string key = entryKey(names[i]);
        const std::vector<size_t>& group = groups[key];
        if (group.size() < 2) {
            continue;
        }
        const auto before = previous.find(key);
        std::string kept;
        for (size_t j : group) {
            if (before != previous.end() && names[j] == before->second) {
                kept = names[j];
            }
        }
        if (names[i] == kept) {
            continue;
        }
        stays[i] = false;
        const std::string& other = !kept.empty() ? kept : names[group[group[0] == i ? 1 : 0]];
        clashes.push_back({names[i], other, !kept.empty()});
        if (kept.empty() && refusedKeys.count(key) == 0) {
            refusedKeys[key] = names[group[0]] + " and " + names[group[1]] + " differ only in letter case";
        }
    }
    return stays;
}

class ZipSource : public DataSource {
public:
    explicit ZipSource(zip* archive) : archive(archive)
    {
        std::vector<std::string> sorted = names();
        std::sort(sorted.begin(), sorted.end());
        std::unordered_map<std::string, std::string> refusedKeys;
        sortOutClashes(sorted, {}, clashList, refusedKeys);
    }
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

    const std::vector<NameClash>& clashes() const override { return clashList; }

private:
    zip* archive;
    std::vector<NameClash> clashList;  // the archive cannot change: found once
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
        const fs::path& path = entries[size_t(index)].path;
        // Without blocking: a FIFO put in the file's place since the lookup opens at once,
        // and is refused below instead of waiting for a writer.
        const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (file < 0) {
            return "cannot open " + path.string() + ": " + std::strerror(errno);
        }
        struct stat status = {};
        const std::string problem = fstat(file, &status) != 0 || !S_ISREG(status.st_mode)
                                        ? path.string() + " is not a regular file"
                                        : readWhole(file, size, buffer);
        ::close(file);
        return problem;
    }

    std::string whyAbsent(const char* name) override
    {
        if (!nameStaysInside(name)) {
            return std::string();
        }
        const std::string key = entryKey(name);
        const auto refused = refusedKeys.find(key);
        if (refused != refusedKeys.end()) {
            return refused->second;
        }
        // An entry replaced since the scan, or something the scan found in a file's place.
        const auto entry = byKey.find(key);
        if (entry != byKey.end()) {
            return irregularity(entries[entry->second].path);
        }
        const auto other = others.find(key);
        return other != others.end() ? irregularity(other->second) : std::string();
    }

    const std::vector<NameClash>& clashes() const override { return clashList; }

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
        // The name each key had: when a newcomer clashes with it, it stays the entry.
        std::unordered_map<std::string, std::string> previous;
        for (const Entry& entry : entries) {
            previous.emplace(entryKey(entry.name), entry.name);
        }
        std::vector<Entry> found;
        others.clear();
        std::error_code error;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            const fs::path& path = it->path();
            std::string name = path.lexically_relative(root).generic_string();
            const bool usableFile = usable(path);
            if (!usableFile && it->is_symlink(error)) {
                it.disable_recursion_pending();  // a linked folder is not followed
            }
            if (!nameStaysInside(name.c_str())) {
                continue;
            }
            if (usableFile) {
                found.push_back({std::move(name), path});
            } else if (!irregularity(path).empty()) {
                others.emplace(entryKey(name), path);  // named when the entry is asked for
            }
        }
        // The archive's order is its own; the folder's is the names' (stable for the tests).
        std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        std::vector<std::string> names;
        names.reserve(found.size());
        for (const Entry& entry : found) {
            names.push_back(entry.name);
        }
        const std::vector<bool> stays = sortOutClashes(names, previous, clashList, refusedKeys);
        entries.clear();
        byKey.clear();
        for (size_t i = 0; i < found.size(); ++i) {
            if (stays[i]) {
                byKey.emplace(entryKey(found[i].name), entries.size());
                entries.push_back(std::move(found[i]));
            }
        }
    }

    std::string folder() const override { return root; }

private:
    struct Entry {
        std::string name;
        fs::path path;
    };

    // Not a link, or a link to something inside the folder.
    bool staysInside(const fs::path& path) const
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
        return true;
    }

    // A regular file, or a link to one inside the folder.
    bool usable(const fs::path& path) const
    {
        std::error_code error;
        return staysInside(path) && fs::is_regular_file(fs::status(path, error)) && !error;
    }

    // Why what is at `path` (inside the folder) cannot be an entry though it exists;
    // empty for a regular file, for nothing, and for a link leading out of the folder.
    std::string irregularity(const fs::path& path) const
    {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (error || !fs::exists(status) || fs::is_regular_file(status) || !staysInside(path)) {
            return std::string();
        }
        const char* kind = fs::is_directory(status)  ? "a folder"
                           : fs::is_fifo(status)     ? "a FIFO"
                           : fs::is_socket(status)   ? "a socket"
                           : fs::is_block_file(status) || fs::is_character_file(status) ? "a device"
                                                                                        : "of an unknown kind";
        return path.string() + " is not a regular file (" + kind + ")";
    }

    // Reads exactly `size` bytes of the open file and makes sure nothing follows.
    static std::string readWhole(int file, uint64_t size, char* buffer)
    {
        uint64_t done = 0;
        while (done < size) {
            const ssize_t n = ::read(file, buffer + done, size_t(size - done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return std::strerror(errno);
            }
            if (n == 0) {
                return "entry shorter than its directory size";
            }
            done += uint64_t(n);
        }
        char extra = 0;
        ssize_t n = 0;
        do {
            n = ::read(file, &extra, 1);
        } while (n < 0 && errno == EINTR);
        return n > 0 ? "entry longer than its directory size" : std::string();
    }

    std::string root;
    std::string canonicalRoot;
    std::vector<Entry> entries;  // the usable files, clashes refused
    std::unordered_map<std::string, size_t> byKey;
    std::unordered_map<std::string, fs::path> others;  // what stands where a file could be
    std::vector<NameClash> clashList;
    std::unordered_map<std::string, std::string> refusedKeys;  // keys all of whose names clash
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
