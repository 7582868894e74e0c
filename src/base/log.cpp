#include "base/log.h"

#include "platform/platform.h"

int Log::create(const char* path)
{
    if (created) {
        return 0;
    }
    stream.open(path, std::ios::out | std::ios::trunc);
    if (!stream.is_open() || stream.fail()) {
        platform::messageBox("Log", "Error creating log file", platform::MessageIcon::Error);
        created = false;
        return 1;
    }
    created = true;
    stream << "log created." << std::endl;
    return 0;
}

namespace {

struct LoadFailure {
    std::string entry;
    std::string reason;
};

std::vector<LoadFailure>& loadFailures()
{
    static std::vector<LoadFailure> failures;
    return failures;
}

}  // namespace

void noteLoadFailure(const std::string& entry, const std::string& reason)
{
    for (const LoadFailure& f : loadFailures()) {
        if (f.entry == entry) {
            return;
        }
    }
    loadFailures().push_back({entry, reason});
}

std::vector<std::string> takeLoadFailures()
{
    std::vector<std::string> lines;
    for (const LoadFailure& f : loadFailures()) {
        lines.push_back(f.entry + ": " + f.reason);
    }
    loadFailures().clear();
    return lines;
}
