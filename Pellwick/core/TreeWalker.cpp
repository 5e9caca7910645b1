#include "core/TreeWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace TreeWalker {

bool Visitor::adopt(int, int) {
    return false;
}
void Visitor::leave(const Entry&, bool) {
}
void Visitor::unreachable(const Entry&, int) {
}
bool Visitor::checksPlacement() const {
    return false;
}

namespace {

struct Frame {
    DIR* stream = nullptr; // null while closed to save descriptors
    long position = 0;     // where to go on after re-opening
    dev_t device = 0;
    ino_t inode = 0;
    std::string name; // the folder's name inside its parent
    int depth = 0;
    bool complete = true;
    bool listing = false; // its first entry has been read

    [[nodiscard]] int fd() const { return stream ? dirfd(stream) : -1; }
};

bool isDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool mountRoot = false;
};

// One statx answers both what the climb needs to verify and whether this is a mount point (a
// bind mount of the same file system keeps the device number; the attribute catches it).
bool identify(int fd, Identity& identity) {
    struct statx extended {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO, &extended) != 0)
        return false;
    identity.device = makedev(extended.stx_dev_major, extended.stx_dev_minor);
    identity.inode = extended.stx_ino;
    identity.mountRoot = (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                         (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return true;
}

unsigned char typeFromMode(mode_t mode) {
    if (S_ISREG(mode))
        return DT_REG;
    if (S_ISDIR(mode))
        return DT_DIR;
    if (S_ISLNK(mode))
        return DT_LNK;
    if (S_ISFIFO(mode))
        return DT_FIFO;
    if (S_ISSOCK(mode))
        return DT_SOCK;
    if (S_ISCHR(mode))
        return DT_CHR;
    if (S_ISBLK(mode))
        return DT_BLK;
    return DT_UNKNOWN;
}

class Walk {
public:
    Walk(Visitor& visitor, dev_t device) : visitor_(visitor), device_(device) {}
    // A visitor or an allocation that throws must not leak the folders still open.
    ~Walk() {
        for (auto& frame : frames_) {
            if (frame.stream)
                closedir(frame.stream);
        }
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void run(int folderFd, int baseDepth) {
        // A fresh open file description, so the caller's descriptor keeps its own offset.
        const int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat status {};
        DIR* stream = fstat(fd, &status) == 0 ? fdopendir(fd) : nullptr;
        if (!stream) {
            close(fd);
            return;
        }
        push(Frame{stream, 0, status.st_dev, status.st_ino, {}, baseDepth, true});
        checksPlacement_ = visitor_.checksPlacement() && parentOf(fd, rootParent_);
        while (!frames_.empty())
            step();
    }

private:
    static bool parentOf(int fd, struct stat& parent) { return fstatat(fd, "..", &parent, 0) == 0; }

    static bool isParent(int fd, dev_t device, ino_t inode) {
        struct stat parent {};
        return parentOf(fd, parent) && parent.st_dev == device && parent.st_ino == inode;
    }

    // The shallowest open folder of the walk that no longer lies in the folder it was found in
    // (0: the walked folder itself); none when all are in place. Folders whose descriptors were
    // closed are checked when the walk climbs back through them.
    [[nodiscard]] std::optional<std::size_t> firstMovedFrame() const {
        if (!isParent(frames_[0].fd(), rootParent_.st_dev, rootParent_.st_ino))
            return 0;
        for (std::size_t i = std::max<std::size_t>(firstOpen_, 1); i < frames_.size(); ++i) {
            if (!isParent(frames_[i].fd(), frames_[i - 1].device, frames_[i - 1].inode))
                return i;
        }
        return std::nullopt;
    }

    // Checked once a folder's first batch of entries has been read, and then every few entries:
    // whatever was put into a subtree after it was moved out is never read from it, except in
    // a folder so large that its listing takes several reads.
    [[nodiscard]] bool placementChanged(bool firstOfFolder) {
        if (!checksPlacement_ || (++sinceCheck_ < placementCheckInterval && !firstOfFolder))
            return false;
        sinceCheck_ = 0;
        return abandonedAfterMove();
    }

    [[nodiscard]] bool abandonedAfterMove() {
        const auto moved = firstMovedFrame();
        if (moved)
            abandonFrom(*moved);
        return moved.has_value();
    }

    // Leaves the folders from frames_[first] down without following them further.
    void abandonFrom(std::size_t first) {
        while (frames_.size() > std::max<std::size_t>(first, 1)) {
            Frame frame = std::move(frames_.back());
            frames_.pop_back();
            if (frame.stream)
                closedir(frame.stream);
            visitor_.leave(Entry{-1, frame.name.c_str(), DT_DIR, frame.depth}, false);
        }
        if (first == 0) {
            visitor_.leave(Entry{-1, "", DT_DIR, frames_[0].depth}, false);
            closedir(frames_[0].stream);
            frames_.clear();
        } else if (!frames_.back().stream) {
            abandonClosedAncestors();
        }
    }

    void step() {
        Frame& top = frames_.back();
        errno = 0;
        const dirent* record = readdir(top.stream);
        if (!record) {
            if (errno != 0)
                top.complete = false;
            finishTop();
            return;
        }
        if (placementChanged(std::exchange(top.listing, true) == false))
            return;
        if (isDot(record->d_name))
            return;
        Entry entry{top.fd(), record->d_name, record->d_type, top.depth + 1};
        struct stat status {};
        bool haveStatus = false;
        if (entry.type == DT_UNKNOWN || visitor_.wantsStat(entry)) {
            haveStatus = fstatat(entry.parentFd, entry.name, &status, AT_SYMLINK_NOFOLLOW) == 0;
            if (haveStatus)
                entry.type = typeFromMode(status.st_mode);
            else if (errno == ENOENT)
                return; // vanished since the listing: nothing to report
        }
        const bool descend = visitor_.visit(entry, haveStatus ? &status : nullptr);
        if (descend && entry.type == DT_DIR)
            enter(entry);
    }

    void enter(const Entry& entry) {
        const int fd = openFolder(entry.parentFd, entry.name);
        if (fd < 0) {
            if (errno != ENOENT)
                visitor_.unreachable(entry, errno);
            return;
        }
        Identity identity;
        if (!identify(fd, identity)) {
            visitor_.unreachable(entry, errno);
            close(fd);
            return;
        }
        if (identity.mountRoot || identity.device != device_) {
            close(fd);
            visitor_.unreachable(entry, EXDEV);
            return;
        }
        bool adopted = false;
        try {
            adopted = visitor_.adopt(fd, entry.depth);
        } catch (...) {
            close(fd); // not taken: a visitor takes the descriptor only by answering true
            throw;
        }
        if (adopted)
            return;
        DIR* stream = fdopendir(fd);
        if (!stream) {
            visitor_.unreachable(entry, errno);
            close(fd);
            return;
        }
        push(Frame{stream, 0, identity.device, identity.inode, entry.name, entry.depth, true});
        closeOldestAncestorIfNeeded();
    }

    void push(Frame frame) {
        try {
            frames_.push_back(std::move(frame));
        } catch (...) {
            closedir(frame.stream);
            throw;
        }
    }

    void closeOldestAncestorIfNeeded() {
        // frames_[0] is the walk's own folder and always stays open.
        if (frames_.size() - firstOpen_ <= openAncestorLimit)
            return;
        Frame& oldest = frames_[firstOpen_];
        oldest.position = telldir(oldest.stream);
        closedir(oldest.stream);
        oldest.stream = nullptr;
        ++firstOpen_;
    }

    // Re-opens the closed parent of the top frame through "..", and checks it is the same
    // folder that was entered on the way down.
    bool reopenParent() {
        Frame& child = frames_.back();
        Frame& parent = frames_[frames_.size() - 2];
        const int fd = openat(child.fd(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat status {};
        if (fstat(fd, &status) != 0 || status.st_dev != parent.device ||
            status.st_ino != parent.inode) {
            close(fd);
            return false;
        }
        parent.stream = fdopendir(fd);
        if (!parent.stream) {
            close(fd);
            return false;
        }
        seekdir(parent.stream, parent.position);
        firstOpen_ = frames_.size() - 2;
        return true;
    }

    void finishTop() {
        if (frames_.size() == 1) {
            closedir(frames_.back().stream);
            frames_.pop_back();
            return;
        }
        Frame& parent = frames_[frames_.size() - 2];
        if (!parent.stream && !reopenParent()) {
            abandonClosedAncestors();
            return;
        }
        // What a visitor does on leaving (a removal lists an emptied folder once more) must not
        // happen in a folder moved out meanwhile.
        if (checksPlacement_ && abandonedAfterMove())
            return;
        Frame child = std::move(frames_.back());
        frames_.pop_back();
        closedir(child.stream);
        const Frame& newTop = frames_.back();
        visitor_.leave(Entry{newTop.fd(), child.name.c_str(), DT_DIR, child.depth}, child.complete);
    }

    // The folders above the top one were moved while the walk was inside: what is left of
    // them is not reached again, and each is reported as abandoned.
    void abandonClosedAncestors() {
        while (frames_.size() > 1) {
            Frame frame = std::move(frames_.back());
            frames_.pop_back();
            if (frame.stream)
                closedir(frame.stream);
            visitor_.leave(Entry{-1, frame.name.c_str(), DT_DIR, frame.depth}, false);
        }
        firstOpen_ = 1;
        frames_.back().complete = false;
    }

    Visitor& visitor_;
    dev_t device_;
    std::vector<Frame> frames_;
    std::size_t firstOpen_ = 1;
    bool checksPlacement_ = false;
    struct stat rootParent_ {};
    int sinceCheck_ = 0;
};

} // namespace

bool isOtherFileSystem(int fd, dev_t device) {
    Identity identity;
    return !identify(fd, identity) || identity.mountRoot || identity.device != device;
}

bool isMountPointAt(int parentFd, const char* name) {
    struct stat parent {};
    const int folder = openFolder(parentFd, name);
    if (folder < 0)
        return false;
    const bool other = fstat(parentFd, &parent) == 0 && isOtherFileSystem(folder, parent.st_dev);
    close(folder);
    return other;
}

int openFolder(int parentFd, const char* name) {
    return openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void walk(int folderFd, Visitor& visitor, int baseDepth, dev_t device) {
    Walk(visitor, device).run(folderFd, baseDepth);
}

} // namespace TreeWalker
