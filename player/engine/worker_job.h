// A long job run for the window on a worker thread that touches no dialog
// state: its progress readable at any time, Cancel (the job's stop token),
// whether it has ended, and its result handed over once it has.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

namespace vedra {

template <typename Result>
class WorkerJob {
public:
    using Progress = std::function<void(double fraction)>;
    using Work = std::function<Result(const Progress& progress, std::stop_token stop)>;

    WorkerJob() = default;
    ~WorkerJob() // cancels a running job and waits for it
    {
        Cancel();
        if (worker_.joinable())
            worker_.join();
    }
    WorkerJob(const WorkerJob&) = delete;
    WorkerJob& operator=(const WorkerJob&) = delete;

    // Starts `work`; `ended`, when given, is called on the worker once the
    // result is in. False when a job of this one is still running.
    bool Start(Work work, std::function<void()> ended = {})
    {
        if (Running())
            return false;
        if (worker_.joinable())
            worker_.join(); // the last one ended but its result was never taken
        progress_ = 0;
        finished_ = false;
        {
            std::lock_guard lock(mutex_);
            result_.reset();
        }
        worker_ = std::jthread([this, work = std::move(work), ended = std::move(ended)](std::stop_token stop) {
            Result r = work([this](double f) { progress_ = f; }, stop);
            {
                std::lock_guard lock(mutex_);
                result_ = std::move(r);
            }
            finished_ = true;
            if (ended)
                ended();
        });
        return true;
    }

    // Fraction done, 0-1; any thread.
    double progress() const { return progress_.load(); }
    void Cancel()
    {
        if (worker_.joinable())
            worker_.request_stop();
    }
    bool Running() const { return worker_.joinable() && !finished_.load(); }

    // Once it has ended: joins the worker and hands over the result; none before.
    std::optional<Result> TakeResult()
    {
        if (!finished_)
            return std::nullopt;
        if (worker_.joinable())
            worker_.join();
        std::lock_guard lock(mutex_);
        std::optional<Result> r = std::move(result_);
        result_.reset();
        return r;
    }

private:
    std::jthread worker_;
    std::atomic<double> progress_{0};
    std::atomic<bool> finished_{false};
    std::mutex mutex_; // guards result_
    std::optional<Result> result_;
};

} // namespace vedra
