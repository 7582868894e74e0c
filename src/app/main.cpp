// Program entry: the start-up sequence, the main loop and the shutdown.
#include "app/app.h"

#include <cstdio>
#include <new>

int main(int argc, char** argv)
{
    // The loaders refuse what they cannot allocate; this is the last guard, so that an
    // allocation failure anywhere ends with a message and code 1 rather than an abort.
    try {
        return runApplication(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("coredemo: out of memory\n", stderr);
        return 1;
    }
}
