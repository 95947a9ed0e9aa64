#include "console/menu.h"
#include "console/platform.h"
#include "pieces/failure.h"

#include <iostream>

namespace {

int run()
{
    try {
        return run_menu();
    } catch (const Failure& failure) {
        std::cout << failure.what();
    } catch (const std::exception& error) {
        std::cout << "Error : " << error.what() << '\n';
    }
    return 1;
}

} // namespace

int main()
{
    start_console();
    const int status = run();
    std::cout.flush();
    end_console();
    return status;
}
