#pragma once

#include "core/UtilityPriority.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

// Runs blocking engine work off the main thread at utility priority. The future is to be made
// before it is awaited: g++ 12 destroys a lambda temporary inside a co_await expression twice.
template <typename Function>
[[nodiscard]] auto runAtUtilityPriority(QThreadPool* pool, Function work) {
    return QtConcurrent::run(pool, [work = std::move(work)]() mutable {
        enterUtilityPriority();
        return work();
    });
}
