// Where the data archive is looked for without --data: the order of the places, the
// XDG defaults and the rules for odd variables, and which place wins.
#include "app/data_search.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Environment = std::map<std::string, std::string>;

std::function<std::string(const char*)> lookUp(const Environment& environment)
{
    return [environment](const char* name) {
        auto found = environment.find(name);
        return found == environment.end() ? std::string() : found->second;
    };
}

const std::string installed = "/opt/core/share/coredemo/data.zip";

TEST(DataSearch, PlacesInOrder)
{
    struct Case {
        const char* what;
        Environment environment;
        std::string installed;
        std::vector<std::string> places;
    };
    const std::vector<Case> cases = {
        {"nothing set: the defaults",
         {{"HOME", "/home/ann"}},
         installed,
         {"./data.zip", "/home/ann/.local/share/coredemo/data.zip", "/usr/local/share/coredemo/data.zip",
          "/usr/share/coredemo/data.zip", installed}},
        {"both set, trailing slashes dropped",
         {{"HOME", "/home/ann"}, {"XDG_DATA_HOME", "/data/ann/"}, {"XDG_DATA_DIRS", "/a:/b/"}},
         installed,
         {"./data.zip", "/data/ann/coredemo/data.zip", "/a/coredemo/data.zip", "/b/coredemo/data.zip", installed}},
        {"empty variables count as unset",
         {{"HOME", "/root"}, {"XDG_DATA_HOME", ""}, {"XDG_DATA_DIRS", ""}},
         installed,
         {"./data.zip", "/root/.local/share/coredemo/data.zip", "/usr/local/share/coredemo/data.zip",
          "/usr/share/coredemo/data.zip", installed}},
        {"relative directories and empty entries are ignored",
         {{"HOME", "/home/ann"}, {"XDG_DATA_HOME", "data"}, {"XDG_DATA_DIRS", "::share:/x::./y:/z"}},
         installed,
         {"./data.zip", "/home/ann/.local/share/coredemo/data.zip", "/x/coredemo/data.zip", "/z/coredemo/data.zip",
          installed}},
        {"no home at all: no user place",
         {{"XDG_DATA_DIRS", "/x"}},
         installed,
         {"./data.zip", "/x/coredemo/data.zip", installed}},
        {"a place named twice is looked at once, where it first comes",
         {{"HOME", "/h"}, {"XDG_DATA_HOME", "/usr/share"}, {"XDG_DATA_DIRS", "/usr/share:/opt/core/share"}},
         installed,
         {"./data.zip", "/usr/share/coredemo/data.zip", installed}},
        {"the installed path is the default directory's",
         {{"HOME", "/h"}},
         "/usr/local/share/coredemo/data.zip",
         {"./data.zip", "/h/.local/share/coredemo/data.zip", "/usr/local/share/coredemo/data.zip",
          "/usr/share/coredemo/data.zip"}},
        {"no installed path", {{"HOME", "/h"}, {"XDG_DATA_DIRS", "/"}}, "",
         {"./data.zip", "/h/.local/share/coredemo/data.zip", "/coredemo/data.zip"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dataFileCandidates(lookUp(c.environment), c.installed), c.places) << c.what;
    }
}

TEST(DataSearch, TheFirstPlaceThatHoldsTheArchiveWins)
{
    const Environment environment = {{"HOME", "/home/ann"}, {"XDG_DATA_DIRS", "/a:/b"}};
    struct Case {
        std::set<std::string> files;
        std::string found;
    };
    const std::vector<Case> cases = {
        {{"./data.zip", "/a/coredemo/data.zip", installed}, "./data.zip"},
        {{"/b/coredemo/data.zip", "/home/ann/.local/share/coredemo/data.zip"},
         "/home/ann/.local/share/coredemo/data.zip"},
        {{"/b/coredemo/data.zip", installed}, "/b/coredemo/data.zip"},
        {{installed, "/elsewhere/data.zip"}, installed},
        {{"/a/data.zip", "/a/coredemo"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> asked;
        DataSearch search = findDataFile(lookUp(environment), installed, [&](const std::string& path) {
            asked.push_back(path);
            return c.files.count(path) > 0;
        });
        EXPECT_EQ(search.found, c.found);
        EXPECT_EQ(search.candidates.size(), 5u);
        // Looking stops at the place found.
        EXPECT_EQ(asked.back(), c.found.empty() ? installed : c.found);
    }
}

}  // namespace
