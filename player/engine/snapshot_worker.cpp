#include "snapshot_worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vedra {
namespace {

class SnapshotWorker {
public:
    ~SnapshotWorker()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    void Post(std::function<void()> job)
    {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
            if (!thread_.joinable())
                thread_ = std::thread([this] { Run(); });
        }
        wake_.notify_one();
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return; // stopping, nothing left
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_; // guarded by mutex_
    bool stopping_ = false;                  // guarded by mutex_
    std::thread thread_;                     // started by the first job, under mutex_
};

} // namespace

void PostSnapshotJob(std::function<void()> job)
{
    static SnapshotWorker worker;
    worker.Post(std::move(job));
}

} // namespace vedra
