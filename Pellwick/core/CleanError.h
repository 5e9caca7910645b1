#pragma once

#include <stdexcept>
#include <string>

namespace Cleaner {

// The cleaning engine's own refusal or failure; what() is the text the user sees.
class CleanError : public std::runtime_error {
public:
    enum class Kind { notAllowed, commandFailed };

    [[nodiscard]] static CleanError notAllowed(const std::string& path) {
        return CleanError(Kind::notAllowed, path, "Refused to touch " + path + ".");
    }
    [[nodiscard]] static CleanError commandFailed(const std::string& command) {
        return CleanError(Kind::commandFailed, command, command + " failed.");
    }

    [[nodiscard]] Kind kind() const { return kind_; }
    // The refused path, or the command line that failed.
    [[nodiscard]] const std::string& subject() const { return subject_; }

private:
    CleanError(Kind kind, std::string subject, const std::string& description)
        : std::runtime_error(description), kind_(kind), subject_(std::move(subject)) {}

    Kind kind_;
    std::string subject_;
};

} // namespace Cleaner
