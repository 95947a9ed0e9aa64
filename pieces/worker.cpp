#include "pieces/worker.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
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
