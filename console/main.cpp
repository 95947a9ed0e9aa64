#include "console/console_report.h"
#include "console/menu.h"
#include "console/platform.h"
#include "console/status_line.h"
#include "pieces/failure.h"

#include <iostream>

int main()
{
    start_console();
    start_status_line();
    start_console_report();
    int status = 1;
    try {
        status = run_menu();
    } catch (const Failure& failure) {
        if (failure.signal != 0)
            clear_for_interruption();
        std::cout << failure.message;
        if (failure.signal != 0)
            end_as_interrupted(failure.signal);
    }
    end_console();
    return status;
}
