#pragma once

#include <set>
#include <string>

// The bundle identifiers of the desktop applications that run now; an item whose application
// runs is held back from a sweep.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    // Blocking: the model asks from a worker thread. Empty when nothing can be listed.
    [[nodiscard]] virtual std::set<std::string> bundleIdentifiers() const = 0;
};
