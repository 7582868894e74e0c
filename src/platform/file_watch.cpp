#include "platform/file_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr uint32_t fileEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_ATTRIB | IN_DELETE_SELF | IN_ONLYDIR;

std::string join(const std::string& folder, const char* name)
{
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

}  // namespace

FileWatch::~FileWatch() { close(); }

bool FileWatch::open(const std::string& path)
{
    close();
    fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    root = path;
    addFolder("");
    if (folders.empty()) {
        close();
        return false;
    }
    return true;
}

void FileWatch::close()
{
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
    folders.clear();
}

void FileWatch::addFolder(const std::string& relative)
{
    const std::string full = relative.empty() ? root : root + "/" + relative;
    const int wd = inotify_add_watch(fd, full.c_str(), fileEvents);
    if (wd < 0) {
        return;
    }
    bool known = false;
    for (auto& folder : folders) {
        if (folder.first == wd) {
            folder.second = relative;
            known = true;
        }
    }
    if (!known) {
        folders.emplace_back(wd, relative);
    }
    DIR* dir = opendir(full.c_str());
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        const std::string child = join(relative, entry->d_name);
        struct stat st;
        // Linked folders are not followed (the data source does not follow them either).
        if (lstat((root + "/" + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            addFolder(child);
        }
    }
    closedir(dir);
}

int FileWatch::poll(Report report, void* user)
{
    if (fd < 0) {
        return 0;
    }
    int count = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n <= 0) {
            break;  // EAGAIN: nothing (more) queued
        }
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const std::string* folder = nullptr;
            for (const auto& f : folders) {
                if (f.first == event->wd) {
                    folder = &f.second;
                }
            }
            if (!folder) {
                continue;
            }
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF)) {
                continue;  // the folder's parent reports it gone
            }
            if (event->len == 0 || event->name[0] == '\0') {
                continue;
            }
            const std::string path = join(*folder, event->name);
            if (event->mask & IN_ISDIR) {
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                    addFolder(path);
                }
                if (event->mask & (IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM)) {
                    report(path.c_str(), FolderChanged, user);
                    ++count;
                }
                continue;
            }
            const int change = (event->mask & (IN_DELETE | IN_MOVED_FROM)) ? Gone : Written;
            report(path.c_str(), change, user);
            ++count;
        }
    }
    return count;
}

}  // namespace platform
