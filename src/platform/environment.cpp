#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

std::string environmentVariable(const char* name)
{
    const char* value = name ? std::getenv(name) : nullptr;
    return value ? value : "";
}

bool isReadableFile(const std::string& path)
{
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0;
}

}  // namespace platform
