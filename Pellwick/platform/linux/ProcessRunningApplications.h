#pragma once

#include "core/ProcessRunner.h"
#include "platform/RunningApplications.h"

// Linux has no registry of running applications by bundle identifier: each catalog
// application is recognised by the names of its executables in the process list.
class ProcessRunningApplications : public RunningApplications {
public:
    // Every bundle identifier one of whose executables is among the running processes.
    [[nodiscard]] std::set<std::string>
    bundleIdentifiers(const ProcessNames& runningProcesses) const override;
};
