#include "platform/linux/StatvfsVolumeCapacity.h"

#include "core/SaturatingAdd.h"

#include <sys/statvfs.h>

std::optional<VolumeCapacity::Figures>
StatvfsVolumeCapacity::read(const std::filesystem::path& folder) const {
    struct statvfs volume {};
    if (statvfs(folder.c_str(), &volume) != 0)
        return std::nullopt;
    return Figures{saturatingBytes(volume.f_bavail, volume.f_frsize),
                   saturatingBytes(volume.f_blocks, volume.f_frsize)};
}
