// Watching a folder tree for changed files (inotify).
//
// open() watches the folder and every folder below it; folders made later are watched
// as they appear. poll() never blocks: it reads what the kernel has queued into a
// buffer of its own and reports each file written, closed after writing, created,
// deleted or moved in or out, by its path relative to the root ('/' between folders).
// With nothing queued, poll makes one system call and allocates nothing. Editors save
// in several steps (a temporary file renamed over the old one; truncate, then write),
// so one save gives several reports: the caller waits for the file to go quiet
// (resources/reload.h). Main thread only.
#pragma once
#include <string>
#include <vector>

namespace platform {

class FileWatch {
public:
    // What poll reports about one path.
    enum Change { Written = 1, Gone = 2, FolderChanged = 4 };
    using Report = void (*)(const char* path, int change, void* user);

    FileWatch() = default;
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Starts watching; false (nothing watched) when the folder cannot be watched.
    bool open(const std::string& root);
    void close();
    bool watching() const { return fd >= 0; }
    // Reports every change queued since the last poll; returns how many were reported.
    // A folder created or removed below the root is reported as FolderChanged (with
    // its path) after its files, which are reported one by one only when they change
    // later: the caller looks at the folder again.
    int poll(Report report, void* user);

private:
    void addFolder(const std::string& relative);
    int fd = -1;
    std::string root;
    std::vector<std::pair<int, std::string>> folders;  // watch descriptor, relative path
    alignas(8) char buffer[16384];
};

}  // namespace platform
