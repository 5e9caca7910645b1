#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// Calls work(i) once for every i below `count`, on up to `threads` threads, the caller's among
// them. Meant for work that mostly waits (child processes, disk reads), where more threads than
// cores keep more waits overlapping. When a thread cannot start, the others do its share; the
// first exception that work throws is thrown again here once every thread has stopped.
template <typename Work> void parallelFor(std::size_t count, unsigned threads, const Work& work) {
    std::atomic<std::size_t> next = 0;
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto drain = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                std::lock_guard lock(failureMutex);
                if (!failure)
                    failure = std::current_exception();
                next = count;
            }
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (std::size_t t = 1; t < std::min<std::size_t>(threads, count); ++t)
            helpers.emplace_back(drain);
    } catch (const std::system_error&) {
    }
    drain();
    for (auto& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}
