#include "core/UtilityPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// From linux/ioprio.h, which glibc does not wrap.
constexpr int ioprioWhoProcess = 1;
constexpr int ioprioClassBestEffort = 2;
constexpr int ioprioClassShift = 13;
constexpr int lowestBestEffortLevel = 7;
constexpr int utilityNice = 10;
} // namespace

void enterUtilityPriority() {
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    // On Linux the nice value belongs to the thread, not the process.
    setpriority(PRIO_PROCESS, thread, utilityNice);
    syscall(SYS_ioprio_set, ioprioWhoProcess, thread,
            (ioprioClassBestEffort << ioprioClassShift) | lowestBestEffortLevel);
}
