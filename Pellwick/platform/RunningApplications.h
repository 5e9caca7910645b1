#pragma once

#include "core/ProcessRunner.h"

#include <set>
#include <string>

// The bundle identifiers of the desktop applications that run now; an item whose application
// runs is held back from a sweep.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    // `runningProcesses` is the process list just read, for desktops that know applications
    // only by their executables; reading it once serves both this and the running tools.
    [[nodiscard]] virtual std::set<std::string>
    bundleIdentifiers(const ProcessNames& runningProcesses) const = 0;
};
