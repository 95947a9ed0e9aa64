#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// A thread of the program's beside the main one, the only kind there is:
// it runs the jobs it is handed, one at a time, in the order handed. The
// first job that throws is kept, the jobs after it are passed over, and
// `wait` throws it again in the caller's thread. Dropped, it waits for the
// job it is running (a long job looks at a stop flag of its owner's) and
// passes over the rest. Its calls are for the one thread that owns it.
class Worker {
public:
    Worker();
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void hand(std::function<void()> job);
    // Until at most `unfinished` of the jobs handed are not done.
    void wait(std::size_t unfinished = 0);

private:
    struct Thread;
    std::unique_ptr<Thread> thread_;
};
