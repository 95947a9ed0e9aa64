#include "console/menu.h"
#include "pieces/failure.h"

#include <iostream>

int main()
{
    try {
        return run_menu();
    } catch (const Failure& failure) {
        std::cout << failure.what();
    } catch (const std::exception& error) {
        std::cout << "Error : " << error.what() << '\n';
    }
    std::cout.flush();
    return 1;
}
