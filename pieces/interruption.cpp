#include "pieces/interruption.h"

#include <atomic>

namespace {

// Lock-free, so safe in a signal handler, and seen by Windows' console
// thread as by the copy.
std::atomic<int> noted{0};

} // namespace

void note_interruption(int signal) { noted = signal; }

int interruption() { return noted; }

void stop_if_interrupted()
{
    if (const int signal = noted)
        throw Interrupted{signal};
}
