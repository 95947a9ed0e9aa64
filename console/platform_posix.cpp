// Built everywhere but Windows, which has console/platform_windows.cpp.
#ifndef _WIN32

#include "console/platform.h"

#include <cstdlib>

#include <unistd.h>

// Names are bytes here: what is typed is what the file system gets.
void start_console() {}

// Output sent to a pipe or a file must not carry control codes.
void clear_console()
{
    if (isatty(STDOUT_FILENO))
        static_cast<void>(std::system("clear 2>/dev/null"));
}

// A terminal outlives the program.
void end_console() {}

#endif
