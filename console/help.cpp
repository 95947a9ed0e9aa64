#include "console/help.h"

#include "console/platform.h"

#include <iostream>

namespace {

const char* const help_page[] = {
    "\t-------------------------------------------------------\n",
    "\tZELK can split a big files into small files of size    \n",
    "\tmultiples of 1K. These files are created in the current \n",
    "\tdirectory.\n\n",
    "\tTo Split the files select option 1 and enter the filename\n",
    "\tAnd the size of the small files in Kilobytes             \n",
    "\n",
    "\tTo join the splitted files go to the directory in which \n",
    "\tthe splitted files are present and run ZELK and select \n",
    "\toption 2 and give the filename to write into.\n",
    "\n\n",
    "\tNote : While splitting the files ZELK forms the filenames\n",
    "\tstarting from FILE1.SPL If these files exists it simply \n",
    "\toverwrites them without any warning.\n",
    "\n\n",
    "\tIf you have any questions or comments contact\n",
    "\t                             -zelk@example.org\n",
    "\t-------------------------------------------------------\n",
};

} // namespace

void show_help()
{
    clear_console();
    for (const char* line : help_page)
        std::cout << line;
}
