#include "pieces/split.h"

#include "console/answers.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/piece_files.h"

#include <iostream>

void split_file()
{
    std::cout << "Enter the file name to split : ";
    const auto source_name = read_word();
    if (!source_name)
        fail("No file name to split was given\n");
    std::cout << "Enter the size of each splitted files in multiples of 1KB : ";
    const NumberAnswer kilobytes = read_number();

    // The source comes first, so a missing one is reported as such whatever
    // the size answer was.
    File source;
    if (open_for_reading(source, *source_name) != Opened::yes)
        fail_opening(*source_name);
    if (kilobytes.text.empty())
        fail("No size of the splitted files was given\n");
    if (!kilobytes.value || *kilobytes.value <= 0)
        fail("Invalid size of the splitted files : " + kilobytes.text + "\n");

    const std::int64_t piece_size = std::int64_t{*kilobytes.value} * 1024;
    const std::int64_t piece_count = (source.size + piece_size - 1) / piece_size;
    // Creating a piece must never truncate the source, whatever name (a
    // path, a link) reaches it.
    for (std::int64_t number = 0; number < piece_count; ++number)
        if (identity_of(piece_file_name(number)) == source.id)
            fail("Error : splitting " + *source_name + " would overwrite it as the piece "
                 + piece_file_name(number) + "\n");

    for (std::int64_t number = 0; number < piece_count; ++number) {
        const std::string piece_name = piece_file_name(number);
        std::cout << "Splitting and writing into file " << piece_name << "\n";
        File piece;
        if (!open_for_writing(piece, piece_name))
            fail_opening(piece_name);
        const std::int64_t copied = copy_data(source, *source_name, piece, piece_name, piece_size);
        // Some file systems report a failed write only when the file closes.
        if (!close_file(piece))
            fail_writing(piece_name);
        // A source shorter than measured ends the run early.
        if (copied < piece_size)
            break;
    }
}
