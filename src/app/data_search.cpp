#include "app/data_search.h"

#include "build_config.h"

#include <algorithm>

namespace {

bool absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

// `dir` without trailing slashes ("/" becomes "").
std::string withoutTrailingSlashes(std::string dir)
{
    while (!dir.empty() && dir.back() == '/') {
        dir.pop_back();
    }
    return dir;
}

std::string inDataDirectory(const std::string& dir)
{
    return withoutTrailingSlashes(dir) + "/" + dataFolderName + "/" + dataFileName;
}

}  // namespace

std::vector<std::string> dataFileCandidates(const std::function<std::string(const char*)>& environment,
                                            const std::string& installed)
{
    std::vector<std::string> places;
    auto add = [&](const std::string& path) {
        if (!path.empty() && std::find(places.begin(), places.end(), path) == places.end()) {
            places.push_back(path);
        }
    };
    add(std::string("./") + dataFileName);

    std::string dataHome = environment("XDG_DATA_HOME");
    if (!absolute(dataHome)) {
        const std::string home = environment("HOME");
        dataHome = absolute(home) ? withoutTrailingSlashes(home) + "/.local/share" : std::string();
    }
    if (!dataHome.empty()) {
        add(inDataDirectory(dataHome));
    }

    std::string dirs = environment("XDG_DATA_DIRS");
    if (dirs.empty()) {
        dirs = "/usr/local/share:/usr/share";
    }
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::string dir = dirs.substr(begin, end - begin);
        if (absolute(dir)) {
            add(inDataDirectory(dir));
        }
        begin = end + 1;
    }
    add(installed);
    return places;
}

DataSearch findDataFile(const std::function<std::string(const char*)>& environment, const std::string& installed,
                        const std::function<bool(const std::string&)>& exists)
{
    DataSearch search;
    search.candidates = dataFileCandidates(environment, installed);
    for (const std::string& place : search.candidates) {
        if (exists(place)) {
            search.found = place;
            break;
        }
    }
    return search;
}

const char* installedDataFile() { return CORE_INSTALLED_DATA_FILE; }
