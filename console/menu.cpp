#include "console/menu.h"

#include "console/answers.h"
#include "console/dialogue.h"
#include "console/help.h"

#include <iostream>

namespace {

const char* const banner[] = {
    "\t************************************************\n",
    "\t*                Z E L K   Ver Beta            *\n",
    "\t*              Split and Join Utility          *\n",
    "\t*            by the zelk developers            *\n",
    "\t************************************************\n\n\n\n",
};

} // namespace

int run_menu()
{
    for (const char* line : banner)
        std::cout << line;
    std::cout << "Do you want to split or join or need help(1 or 2 or 3)) ?";
    // Anything but a plain 1 or 2 (letters, no answer, a number out of
    // range) shows the help page.
    const auto choice = read_number();
    if (choice == 1)
        split_dialogue();
    else if (choice == 2)
        join_dialogue();
    else
        show_help();
    std::cout << "\n\nThanks for using zelk....\n";
    return 0;
}
