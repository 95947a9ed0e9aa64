#include "console/dialogue.h"

#include "console/answers.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/join.h"
#include "pieces/piece_files.h"
#include "pieces/split.h"

#include <iostream>

void split_dialogue()
{
    std::cout << "Enter the file name to split : ";
    const auto source_name = read_word();
    if (!source_name)
        fail("No file name to split was given\n");
    std::cout << "Enter the size of each splitted files in multiples of 1KB : ";
    const auto size_answer = read_word();
    // The source comes first, so a missing one is reported as such whatever
    // the size answer was.
    File source;
    open_source(source, *source_name);
    if (!size_answer)
        fail("No size of the splitted files was given\n");
    const auto size = size_answer_of(*size_answer);
    if (!size)
        fail("Invalid size of the splitted files : " + *size_answer + "\n");
    const std::int64_t piece_size = size->kilobytes * 1024;
    split_file(source, piece_size, recovery_for(*size, piece_count(source.size, piece_size)));
}

void join_dialogue()
{
    std::cout << "File name to write (Warning : This file will be overwritten) : ";
    const auto output_name = read_word();
    if (!output_name)
        fail("No file name to write was given\n");
    join_pieces(*output_name);
}
