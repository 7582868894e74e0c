// Where the data archive is when --data does not name it: the working directory
// first, then the XDG data directories, then the folder the program was installed
// with. findDataFile is a plain function of the environment and of a file test, so
// that the order can be checked without touching the file system; the program passes
// platform::environmentVariable and platform::isReadableFile.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct DataSearch {
    std::string found;                    // the first candidate that exists, "" when none does
    std::vector<std::string> candidates;  // every place looked at, in order
};

// The archive's file name in each place and the folder below a data directory.
constexpr const char* dataFileName = "data.zip";
constexpr const char* dataFolderName = "coredemo";

// The places, in this order, each listed once:
//   ./data.zip
//   $XDG_DATA_HOME/coredemo/data.zip         (unset or empty: $HOME/.local/share)
//   <each $XDG_DATA_DIRS entry>/coredemo/data.zip  (unset or empty: /usr/local/share:/usr/share)
//   `installed`                              (the path compiled in; skipped when empty)
// As the base-directory rules ask, a relative XDG directory is ignored (a relative
// XDG_DATA_HOME counts as unset); so is an empty entry of XDG_DATA_DIRS.
std::vector<std::string> dataFileCandidates(const std::function<std::string(const char*)>& environment,
                                            const std::string& installed);

// The candidates and the first of them for which `exists` is true.
DataSearch findDataFile(const std::function<std::string(const char*)>& environment, const std::string& installed,
                        const std::function<bool(const std::string&)>& exists);

// <install prefix>/share/coredemo/data.zip, fixed when the program was configured.
const char* installedDataFile();
