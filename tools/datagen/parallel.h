// Splits an index range into fixed contiguous chunks, one per hardware thread, so
// that every result is computed by the same code whatever the thread timing: work
// items must write only to their own outputs.
#pragma once
#include <algorithm>
#include <thread>
#include <vector>

namespace datagen {

inline int workerCount()
{
    unsigned n = std::thread::hardware_concurrency();
    return int(std::max(1u, std::min(n, 8u)));
}

// Calls body(begin, end) for chunks covering [0, count).
template <typename Body>
void parallelFor(int count, Body body)
{
    int workers = std::min(workerCount(), std::max(count, 1));
    if (workers <= 1) {
        body(0, count);
        return;
    }
    std::vector<std::thread> threads;
    int chunk = (count + workers - 1) / workers;
    for (int w = 1; w < workers; ++w) {
        int begin = std::min(count, w * chunk);
        int end = std::min(count, begin + chunk);
        threads.emplace_back([=] { body(begin, end); });
    }
    body(0, std::min(count, chunk));
    for (std::thread& t : threads) {
        t.join();
    }
}

}  // namespace datagen
