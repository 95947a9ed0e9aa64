#include "pieces/worker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <algorithm>
#include <thread>

struct Worker::Thread {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool running = false;  // a job taken from the queue, not yet done
    bool ending = false;
    std::exception_ptr failure;
    std::thread thread;

    void run();
};

void Worker::Thread::run()
{
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        changed.wait(held, [this] { return !jobs.empty() || ending; });
        if (ending)
            return;
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        running = true;
        const bool passed_over = failure != nullptr;
        held.unlock();
        std::exception_ptr failed;
        try {
            if (!passed_over)
                job();
        } catch (...) {
            failed = std::current_exception();
        }
        held.lock();
        if (failed && !failure)
            failure = failed;
        running = false;
        changed.notify_all();
    }
}

Worker::Worker() : thread_(new Thread)
{
    Thread* const thread = thread_.get();
    thread->thread = std::thread([thread] { thread->run(); });
}

Worker::~Worker()
{
    {
        std::lock_guard<std::mutex> held(thread_->lock);
        thread_->ending = true;
    }
    thread_->changed.notify_all();
    thread_->thread.join();
}

void Worker::hand(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> held(thread_->lock);
        thread_->jobs.push_back(std::move(job));
    }
    thread_->changed.notify_all();
}

void Worker::wait(std::size_t unfinished)
{
    std::unique_lock<std::mutex> held(thread_->lock);
    thread_->changed.wait(held, [&] { return thread_->jobs.size() + thread_->running <= unfinished; });
    if (thread_->failure)
        std::rethrow_exception(thread_->failure);
}

namespace {
std::atomic<std::size_t> threads_asked{0};
}

std::size_t threads_to_use()
{
    const std::size_t asked = threads_asked.load();
    return asked > 0 ? asked : std::max<std::size_t>(1, std::thread::hardware_concurrency());
}

void use_threads(std::size_t count) { threads_asked = count; }

void share_out(std::vector<Worker>& helpers, std::size_t count,
               const std::function<void(std::size_t index, std::size_t thread)>& each)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    const auto take = [&](std::size_t thread) {
        try {
            for (std::size_t index; !stop && (index = next++) < count;)
                each(index, thread);
        } catch (...) {
            stop = true;
            throw;
        }
    };
    for (std::size_t helper = 0; helper < helpers.size(); ++helper)
        helpers[helper].hand([&take, helper] { take(helper + 1); });
    std::exception_ptr failure;
    try {
        take(0);
    } catch (...) {
        failure = std::current_exception();
    }
    for (Worker& helper : helpers)
        try {
            helper.wait();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    if (failure)
        std::rethrow_exception(failure);
}
