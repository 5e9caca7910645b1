#include "platform/linux/ChildSessions.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace {

struct Lineage {
    pid_t parent = 0;
    pid_t session = 0;
};

// From /proc/PID/stat: "PID (NAME) STATE PPID PGRP SESSION …"; the name may hold blanks and
// parentheses, so the fields are read after its last ")".
std::optional<Lineage> lineageOf(const std::filesystem::path& process) {
    std::ifstream file(process / "stat");
    std::string line;
    if (!std::getline(file, line))
        return std::nullopt;
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    char state = 0;
    Lineage lineage;
    pid_t group = 0;
    if (!(fields >> state >> lineage.parent >> group >> lineage.session))
        return std::nullopt;
    return lineage;
}

} // namespace

void endChildSessions() {
    std::error_code error;
    const pid_t self = getpid();
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        const auto lineage = lineageOf(entry.path());
        // Our child, unreaped until its runner has seen it exit, so the number is still its own.
        if (lineage && lineage->parent == self && lineage->session == pid)
            ::kill(-pid, SIGKILL);
    }
}
