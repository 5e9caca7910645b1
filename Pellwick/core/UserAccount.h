#pragma once

#include <optional>
#include <string>

// The password database's entry for the process's real user id.
struct UserAccount {
    std::string name;
    std::string shell; // empty when the entry names none
};

[[nodiscard]] std::optional<UserAccount> currentUserAccount();
