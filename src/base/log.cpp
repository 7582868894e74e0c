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
    bool warning;
};

std::vector<LoadFailure>& loadFailures()
{
    static std::vector<LoadFailure> failures;
    return failures;
}

}  // namespace

void noteLoadFailure(const std::string& entry, const std::string& reason)
{
    for (LoadFailure& f : loadFailures()) {
        if (f.entry == entry) {
            if (f.warning) {
                f = {entry, reason, false};
            }
            return;
        }
    }
    loadFailures().push_back({entry, reason, false});
}

void noteLoadWarning(const std::string& entry, const std::string& what)
{
    for (const LoadFailure& f : loadFailures()) {
        if (f.entry == entry) {
            return;
        }
    }
    loadFailures().push_back({entry, what, true});
}

std::vector<std::string> takeLoadFailures(const std::string& consequence, size_t* failureCount)
{
    std::vector<std::string> lines;
    size_t failures = 0;
    for (const LoadFailure& f : loadFailures()) {
        lines.push_back(f.entry + ": " + f.reason + (f.warning ? "" : consequence));
        failures += f.warning ? 0 : 1;
    }
    loadFailures().clear();
    if (failureCount) {
        *failureCount = failures;
    }
    return lines;
}
