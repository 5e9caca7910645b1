#pragma once

#include "core/UtilityPriority.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

// The pools engine work runs on. They live as long as the process and nothing ever waits for
// them: a model that goes, or a program that quits, abandons what it started instead of
// waiting for measurements, scans or a login shell that nobody needs any more.
namespace WorkerPools {

[[nodiscard]] inline QThreadPool& make(int threads) {
    auto* pool = new QThreadPool;
    pool->setMaxThreadCount(threads);
    return *pool;
}

// Item measurements and cleaning.
[[nodiscard]] inline QThreadPool& measurement() {
    static QThreadPool& pool = make(std::max(2, QThread::idealThreadCount()));
    return pool;
}

// Child processes that may block for seconds (the login shell) never hold up measuring.
[[nodiscard]] inline QThreadPool& processes() {
    static QThreadPool& pool = make(2);
    return pool;
}

// The project scan, which walks whole project folders and runs git.
[[nodiscard]] inline QThreadPool& projects() {
    static QThreadPool& pool = make(std::max(2, QThread::idealThreadCount()));
    return pool;
}

} // namespace WorkerPools

// Runs blocking engine work off the main thread at utility priority. Work that fails (throws,
// runs out of memory) yields no value, so every workflow that awaits it can go on with what it
// had. The future is to be made before it is awaited: g++ 12 destroys a lambda temporary inside
// a co_await expression twice.
template <typename Function>
[[nodiscard]] auto runAtUtilityPriority(QThreadPool* pool, Function work) {
    using Result = std::invoke_result_t<Function&>;
    return QtConcurrent::run(pool, [work = std::move(work)]() mutable -> std::optional<Result> {
        enterUtilityPriority();
        try {
            return work();
        } catch (...) {
            return std::nullopt;
        }
    });
}
