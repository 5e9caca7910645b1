#pragma once

#include "core/FileTime.h"

// Wall-clock time, injected so that tests decide what "now" is.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual FileTime now() const = 0;
};

class SystemClock : public Clock {
public:
    [[nodiscard]] FileTime now() const override { return std::chrono::system_clock::now(); }
};
