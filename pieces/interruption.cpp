#include "pieces/interruption.h"

#include <atomic>
#include <chrono>

namespace {

// Lock-free, so safe in a signal handler, and seen by Windows' console
// thread as by the copy.
std::atomic<int> noted{0};
std::atomic<long long> noted_at{0};  // milliseconds, steady clock

long long milliseconds_now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool note_interruption(int signal)
{
    const long long now = milliseconds_now();
    if (noted == 0) {
        noted_at = now;
        noted = signal;
        return false;
    }
    return now - noted_at >= 1000;
}

void stop_if_interrupted()
{
    if (const int signal = noted)
        throw Interrupted{signal};
}
