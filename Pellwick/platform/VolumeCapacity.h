#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

// The bytes available to the user and the total bytes of the volume that holds a folder.
class VolumeCapacity {
public:
    struct Figures {
        std::optional<std::int64_t> available;
        std::optional<std::int64_t> total;
    };

    virtual ~VolumeCapacity() = default;
    // None when the volume cannot be queried at all.
    [[nodiscard]] virtual std::optional<Figures>
    read(const std::filesystem::path& folder) const = 0;
};
