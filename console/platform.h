#pragma once

// What the program needs from the system it runs on; one file per system.

// Sets up standard input and output so that the rest of the program reads
// and prints every name as one UTF-8 string.
void start_console();

// Clears the screen when standard output is a terminal; the page that
// follows is printed whether that works or not.
void clear_console();

// The last step before the program exits: a console window that belongs to
// the program alone is kept open until the user presses Enter.
void end_console();

// Whether standard output is a terminal or a console, where a status line
// may show; and standard input too, where each answer ends with an Enter.
bool output_is_console();
bool input_is_console();

// From now on an interruption (Ctrl-C, a closed terminal or console window,
// a termination signal, a closed pipe) is noted for the work to stop at,
// not obeyed at once; one that was ignored when the program started stays
// ignored.
void catch_interruptions();

// Ends the program as the interruption `signal` ends a program that does
// not catch it, for whoever started it to see.
[[noreturn]] void end_as_interrupted(int signal);
