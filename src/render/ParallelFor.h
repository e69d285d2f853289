#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace skyglide {

/// Calls work(i) for every i in [0, count) on up to `threads` threads (the
/// caller's among them), indices taken in rising order. The first exception
/// of any call is raised again once every thread has stopped; the calls not
/// yet started are skipped then.
template <class F> void ParallelFor(int count, int threads, F&& work)
{
    std::atomic<int> next{0};
    std::exception_ptr error;
    std::mutex errorMutex;
    auto run = [&] {
        for (int i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(errorMutex);
                if (!error)
                    error = std::current_exception();
                next = count;
            }
        }
    };
    const int helpers = std::max(0, std::min(threads, count) - 1);
    std::vector<std::thread> pool;
    pool.reserve(std::size_t(helpers));
    for (int t = 0; t < helpers; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& thread : pool)
        thread.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace skyglide
