#pragma once

// A request to stop the run (Ctrl-C, a closed terminal or console, a
// signal): noted where it arrives, acted on where the work can stop with
// every file in a known state.

// Async-signal-safe: all a handler does. True when one was noted a second
// or more before, which the run has had time to see and has not: it waits
// where it cannot look (a pipe that takes nothing), and the caller ends it
// at once. One that comes sooner (the same Ctrl-C relayed by a parent
// process) changes nothing.
bool note_interruption(int signal);

struct Interrupted {
    int signal;
};

// Throws Interrupted once one is noted.
void stop_if_interrupted();
