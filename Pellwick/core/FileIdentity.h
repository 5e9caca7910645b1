#pragma once

#include <sys/stat.h>
#include <sys/types.h>

// Which file an open descriptor or a path leads to, whatever its name: the same device and
// inode is the same file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

[[nodiscard]] inline FileIdentity identityOf(const struct stat& status) {
    return FileIdentity{status.st_dev, status.st_ino};
}
