#include "platform/linux/StatvfsVolumeCapacity.h"

#include <sys/statvfs.h>

#include <limits>

namespace {
std::int64_t bytes(unsigned long long blocks, unsigned long long blockSize) {
    unsigned long long product = 0;
    if (__builtin_mul_overflow(blocks, blockSize, &product) ||
        product > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(product);
}
} // namespace

std::optional<VolumeCapacity::Figures>
StatvfsVolumeCapacity::read(const std::filesystem::path& folder) const {
    struct statvfs volume {};
    if (statvfs(folder.c_str(), &volume) != 0)
        return std::nullopt;
    return Figures{bytes(volume.f_bavail, volume.f_frsize),
                   bytes(volume.f_blocks, volume.f_frsize)};
}
