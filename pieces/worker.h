#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

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

// How many threads a share of work is spread over: the machine's cores,
// unless a test asked for another number.
std::size_t threads_to_use();
void use_threads(std::size_t count);

// Runs each(i, thread) for every i < count, in the calling thread (thread
// 0) and in `helpers` (1 on), each taking the next i not yet taken: a
// thread that a busy core slows takes fewer. Returns once all are done;
// what failed in any thread fails here, and the others then take no more.
void share_out(std::vector<Worker>& helpers, std::size_t count,
               const std::function<void(std::size_t index, std::size_t thread)>& each);
