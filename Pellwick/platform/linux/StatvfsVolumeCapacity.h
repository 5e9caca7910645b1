#pragma once

#include "platform/VolumeCapacity.h"

class StatvfsVolumeCapacity : public VolumeCapacity {
public:
    [[nodiscard]] std::optional<Figures> read(const std::filesystem::path& folder) const override;
};
