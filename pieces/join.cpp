#include "pieces/join.h"

#include "console/answers.h"
#include "pieces/byte_copy.h"
#include "pieces/failure.h"
#include "pieces/piece_files.h"

#include <filesystem>
#include <iostream>
#include <limits>

namespace fs = std::filesystem;

void join_pieces()
{
    std::cout << "File name to write (Warning : This file will be overwritten) : ";
    const auto output_name = read_word();
    if (!output_name)
        fail("No file name to write was given\n");
    // Truncating the output must never destroy a piece that is still to be read.
    if (const auto piece = piece_that_is(*output_name, std::numeric_limits<std::int64_t>::max(), true))
        fail("Error : writing into " + *output_name + " would overwrite the piece "
             + piece_file_name(*piece) + "\n");

    std::filebuf output;
    if (!open_for_writing(output, *output_name))
        fail_opening(*output_name);

    for (std::int64_t number = 0;; ++number) {
        const std::string piece_name = piece_file_name(number);
        std::error_code error;
        if (fs::status(piece_name, error).type() == fs::file_type::not_found)
            break;
        // The output itself may stand just after the run; it is no piece.
        if (fs::equivalent(piece_name, file_path(*output_name), error))
            break;
        std::filebuf piece;
        const auto piece_size = open_and_measure(piece, piece_name);
        if (!piece_size)
            fail_opening(piece_name);
        // A piece that turns out shorter than measured adds only what it has.
        copy_bytes(piece, piece_name, output, *output_name, *piece_size);
    }
    if (!output.close())
        fail_writing(*output_name);
}
