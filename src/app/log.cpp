#include "app/log.h"

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
