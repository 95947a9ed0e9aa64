#include "pieces/join.h"

#include "console/answers.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/piece_files.h"

#include <iostream>

namespace {

// Truncating the output must never destroy a piece that is still to be read.
void refuse_a_piece_of_the_run(const std::string& output_name)
{
    const auto output = identity_of(output_name);
    if (!output)
        return;
    for (std::int64_t number = 0;; ++number) {
        const auto piece = identity_of(piece_file_name(number));
        if (!piece)
            return;
        if (*piece == *output)
            fail("Error : writing into " + output_name + " would overwrite the piece " + piece_file_name(number)
                 + "\n");
    }
}

} // namespace

void join_pieces()
{
    std::cout << "File name to write (Warning : This file will be overwritten) : ";
    const auto output_name = read_word();
    if (!output_name)
        fail("No file name to write was given\n");
    refuse_a_piece_of_the_run(*output_name);

    File output;
    if (!open_for_writing(output, *output_name))
        fail_opening(*output_name);
    const auto output_id = identity_of(*output_name);

    for (std::int64_t number = 0;; ++number) {
        const std::string piece_name = piece_file_name(number);
        File piece;
        const Opened opened = open_for_reading(piece, piece_name);
        if (opened == Opened::missing)
            break;
        if (opened == Opened::refused)
            fail_opening(piece_name);
        // The output itself may stand just after the run; it is no piece.
        if (piece.id == output_id)
            break;
        // A piece that turns out shorter than measured adds only what it has.
        copy_data(piece, piece_name, output, *output_name, piece.size);
    }
    if (!close_file(output))
        fail_writing(*output_name);
}
