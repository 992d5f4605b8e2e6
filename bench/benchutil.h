// Timing for the benchmarks: the best of several runs, in seconds.
#pragma once

#include <algorithm>
#include <chrono>

namespace zt::bench {

template <class F>
double BestSeconds(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

} // namespace zt::bench
