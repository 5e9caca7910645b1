#include "core/ParallelSizeWalk.h"

#include "core/SaturatingAdd.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace ParallelSizeWalk {
namespace {

// A single small tree is not worth starting threads: that begins after this many entries.
// Once threads run, every folder found while others wait is handed over.
constexpr std::int64_t entriesBeforeThreads = 2000;

struct Subtree {
    UniqueFd fd;
    int depth = 0;
    std::size_t root = 0;
};

class Pool {
public:
    Pool(std::vector<dev_t> devices, unsigned threads)
        : devices_(std::move(devices)), totals_(devices_.size(), 0), threads_(threads) {}

    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        wake_.notify_all();
        for (auto& helper : helpers_)
            helper.join();
    }

    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Queues a root's walk before any thread runs; the descriptor stays the caller's.
    void enqueueRoot(int fd, std::size_t root) {
        queue_.emplace_back();
        queue_.back() = Subtree{UniqueFd(::dup(fd)), 0, root};
    }

    // Takes the subtree when another thread can walk it soon; the caller walks it otherwise.
    bool offer(int fd, int depth, std::size_t root, std::int64_t seenByCaller) {
        // Read without the lock: most folders are offered while the queue is full.
        if (threads_ < 2)
            return false;
        if (started_ ? queued_.load(std::memory_order_relaxed) >= threads_
                     : seenByCaller < entriesBeforeThreads)
            return false;
        std::lock_guard lock(mutex_);
        if (helpers_.empty() && !startHelpers())
            return false;
        // A few folders wait ready for whichever thread is free next; more would only hold
        // descriptors open.
        if (queue_.size() >= threads_)
            return false;
        queue_.emplace_back(); // may throw, before the descriptor is taken
        queue_.back() = Subtree{UniqueFd(fd), depth, root};
        queued_ = queue_.size();
        wake_.notify_one();
        return true;
    }

    void add(std::size_t root, std::int64_t bytes) {
        std::lock_guard lock(mutex_);
        totals_[root] = saturatingAdd(totals_[root], bytes);
    }

    // The calling thread works too, until every queued subtree is done; several roots start
    // the threads at once.
    std::vector<std::int64_t> finish() {
        if (queue_.size() > 1 && threads_ > 1) {
            std::lock_guard lock(mutex_);
            startHelpers();
        }
        work(false);
        std::lock_guard lock(mutex_);
        return totals_;
    }

    void walkSubtree(int fd, int depth, std::size_t root);

private:
    bool startHelpers() {
        try {
            for (unsigned i = 1; i < threads_; ++i)
                helpers_.emplace_back([this] { work(true); });
        } catch (const std::system_error&) {
        }
        started_ = !helpers_.empty();
        return started_;
    }

    [[nodiscard]] bool allDone(bool helper) const { return finished_ || (!helper && busy_ == 0); }

    void work(bool helper) {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !queue_.empty() || allDone(helper); });
            if (queue_.empty())
                return;
            Subtree subtree = std::move(queue_.front());
            queue_.pop_front();
            queued_ = queue_.size();
            ++busy_;
            lock.unlock();
            try {
                walkSubtree(subtree.fd.get(), subtree.depth, subtree.root);
            } catch (...) {
                // A subtree that cannot be walked adds nothing, as an unreadable one does; an
                // exception must not end a helper thread (and with it the program).
            }
            subtree.fd.reset();
            lock.lock();
            --busy_;
            if (busy_ == 0 && queue_.empty())
                wake_.notify_all();
        }
    }

    std::vector<dev_t> devices_;
    std::vector<std::int64_t> totals_;
    unsigned threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Subtree> queue_;
    std::vector<std::thread> helpers_;
    unsigned busy_ = 0;
    std::atomic<std::size_t> queued_ = 0; // the queue's length, changed under the lock only
    std::atomic<bool> started_ = false;
    bool finished_ = false;
};

class SizeVisitor : public TreeWalker::Visitor {
public:
    SizeVisitor(Pool& pool, std::size_t root) : pool_(pool), root_(root) {}

    bool wantsStat(const TreeWalker::Entry& entry) override { return entry.type == DT_REG; }

    bool visit(const TreeWalker::Entry& entry, const struct stat* status) override {
        ++seen_;
        if (entry.type == DT_REG && status)
            total_ = saturatingAdd(total_, allocatedBytes(status->st_blocks));
        return entry.type == DT_DIR;
    }

    bool adopt(int fd, int depth) override { return pool_.offer(fd, depth, root_, seen_); }

    [[nodiscard]] std::int64_t total() const { return total_; }

private:
    Pool& pool_;
    std::size_t root_;
    std::int64_t seen_ = 0;
    std::int64_t total_ = 0;
};

void Pool::walkSubtree(int fd, int depth, std::size_t root) {
    SizeVisitor visitor(*this, root);
    TreeWalker::walk(fd, visitor, depth, devices_[root]);
    add(root, visitor.total());
}

} // namespace

std::vector<std::int64_t> sumBelowEach(const std::vector<Folder>& folders, unsigned threads) {
    std::vector<dev_t> devices;
    for (const auto& folder : folders)
        devices.push_back(folder.device);
    Pool pool(std::move(devices), std::max(1u, threads));
    for (std::size_t i = 0; i < folders.size(); ++i)
        pool.enqueueRoot(folders[i].fd, i);
    return pool.finish();
}

std::int64_t sumBelow(int folderFd, dev_t device, unsigned threads) {
    return sumBelowEach({Folder{folderFd, device}}, threads).front();
}

unsigned ioThreads() {
    return std::clamp(4 * std::thread::hardware_concurrency(), 8u, 16u);
}

} // namespace ParallelSizeWalk
