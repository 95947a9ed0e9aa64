#include "pieces/join.h"

#include "console/answers.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/piece_files.h"
#include "pieces/progress.h"

#include <algorithm>
#include <iostream>

namespace {

// How many pieces the run has, FILE0.SPL on; a run that cannot be whole is
// refused before the output is touched.
std::int64_t whole_run()
{
    const auto numbers = pieces_here();
    if (!numbers)
        fail_reading(".");
    std::int64_t count = 0;
    while (count < static_cast<std::int64_t>(numbers->size()) && (*numbers)[count] == count)
        ++count;
    if (count == 0)
        fail("Error : there is no FILE0.SPL here to join\n");
    if (count < static_cast<std::int64_t>(numbers->size()))
        fail("Error : " + piece_file_name(count) + " is missing, so the pieces from "
             + piece_file_name((*numbers)[count]) + " on cannot be joined\n");
    return count;
}

// Truncating the output must never destroy a piece that is still to be read.
void refuse_a_piece_of_the_run(const std::string& output_name, std::int64_t count)
{
    const auto output = identity_of(output_name);
    if (!output)
        return;
    for (std::int64_t number = 0; number < count; ++number)
        if (identity_of(piece_file_name(number)) == output)
            fail("Error : writing into " + output_name + " would overwrite the piece " + piece_file_name(number)
                 + "\n");
}

} // namespace

void join_pieces()
{
    std::cout << "File name to write (Warning : This file will be overwritten) : ";
    const auto output_name = read_word();
    if (!output_name)
        fail("No file name to write was given\n");
    const std::int64_t count = whole_run();
    refuse_a_piece_of_the_run(*output_name, count);

    File output;
    if (!open_for_writing(output, *output_name))
        fail_opening(*output_name);
    for (std::int64_t number = 0; number < count; ++number) {
        const std::string piece_name = piece_file_name(number);
        File piece;
        // A piece that went away since the folder was read is no end of the run.
        if (!open_for_reading(piece, piece_name))
            fail_opening(piece_name);
        progress().piece(piece_name, number, count, piece.size);
        // A piece that turns out shorter than measured adds only what it has.
        copy_data(piece, piece_name, output, *output_name, piece.size);
    }
    // The farewell promises that the output is on the disk, under its name.
    const bool on_disk = is_regular(output);
    progress().flushing();
    if (!flush_file(output) || !close_file(output) || (on_disk && !flush_entry(*output_name)))
        fail_writing(*output_name);
}
