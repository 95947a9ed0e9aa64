// Built everywhere but Windows, which has console/platform_windows.cpp.
#ifndef _WIN32

#include "console/platform.h"

#include "pieces/interruption.h"

#include <csignal>
#include <cstdlib>
#include <iostream>

#include <unistd.h>

// Names are bytes here: what is typed is what the file system gets. The
// streams keep buffers of their own, which tell how much was typed ahead.
// A file size limit (ulimit -f) fails the write that passes it, which the
// program reports, rather than ending it unannounced.
void start_console()
{
    std::ios::sync_with_stdio(false);
    std::signal(SIGXFSZ, SIG_IGN);
}

// Output sent to a pipe or a file must not carry control codes.
void clear_console()
{
    if (!isatty(STDOUT_FILENO))
        return;
    std::cout.flush();
    // The page follows whether the screen was cleared or not.
    [[maybe_unused]] const int cleared = std::system("clear 2>/dev/null");
}

bool output_is_console() { return isatty(STDOUT_FILENO); }
bool input_is_console() { return isatty(STDIN_FILENO); }

// A terminal outlives the program.
void end_console() {}

namespace {

// A run held in a call that waits (a pipe that takes nothing) never comes
// back to see the first signal: a later one ends it as if it had no handler.
void on_signal(int signal)
{
    if (note_interruption(signal)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

} // namespace

void catch_interruptions()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction action {}, was {};
        action.sa_handler = on_signal;
        sigemptyset(&action.sa_mask);
        // Calls under way go on; the copy stops between two of them.
        action.sa_flags = SA_RESTART;
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

void end_as_interrupted(int signal)
{
    std::cout.flush();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

#endif
