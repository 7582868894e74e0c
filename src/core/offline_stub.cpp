// Stand-in until offline rendering exists: delete this file together with adding
// the real runOffline (a weak definition in the same static library could otherwise
// be the one the linker picks).
#include "core/offline.h"

#include <cstdio>

__attribute__((weak)) int runOffline()
{
    std::fprintf(stderr, "coredemo: offline rendering is not available in this build\n");
    return 1;
}
