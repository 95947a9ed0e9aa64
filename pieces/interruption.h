#pragma once

// A request to stop the run (Ctrl-C, a closed terminal or console, a
// signal): noted where it arrives, acted on where the work can stop with
// every file in a known state.

// Async-signal-safe: all a handler does.
void note_interruption(int signal);

// The signal noted, 0 while none was.
int interruption();

struct Interrupted {
    int signal;
};

// Throws Interrupted once one is noted.
void stop_if_interrupted();
