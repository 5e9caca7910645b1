#include "core/CleanupAction.h"

const std::vector<std::filesystem::path>& actionRoots(const CleanupAction& action) {
    static const std::vector<std::filesystem::path> none;
    return std::visit(
        [](const auto& payload) -> const std::vector<std::filesystem::path>& {
            if constexpr (std::is_same_v<std::decay_t<decltype(payload)>, CleanupActions::Simctl>)
                return none;
            else
                return payload.roots;
        },
        action);
}
