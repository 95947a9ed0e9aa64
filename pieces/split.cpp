#include "pieces/split.h"

#include "console/answers.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/piece_files.h"
#include "pieces/progress.h"

#include <algorithm>
#include <iostream>

namespace {

// Pieces that this split did not write but a join here would meet.
void note_pieces_left(std::int64_t count)
{
    const auto numbers = pieces_here();
    if (!numbers || numbers->empty() || numbers->back() < count)
        return;
    auto first = numbers->begin();
    while (*first < count)
        ++first;
    const bool one = *first == numbers->back();
    // A join takes them in where they follow on, and refuses a gap.
    const bool follow_on = *first == count;
    const bool gapless = numbers->back() - *first == numbers->end() - first - 1;
    std::cout << "Note : " << piece_range(*first, numbers->back()) << (one ? " was" : " were")
              << " here before this split; a join here would "
              << (!follow_on ? "fail on the gap before " : gapless ? "add " : "fail on a gap among ")
              << (one ? "it" : "them") << "\n";
}

// Creating a piece must never truncate the source, whatever name (a path,
// a link) reaches it. Only a name already here can, so the folder is read
// once rather than asked after each of thousands of pieces.
void refuse_to_overwrite(const File& source, const std::string& source_name, std::int64_t piece_count)
{
    const auto check = [&](std::int64_t number) {
        if (identity_of(piece_file_name(number)) == source.id)
            fail("Error : splitting " + source_name + " would overwrite it as the piece "
                 + piece_file_name(number) + "\n");
    };
    const auto here = pieces_here();
    if (!here)
        for (std::int64_t number = 0; number < piece_count; ++number)
            check(number);
    else
        for (const std::int64_t number : *here)
            if (number < piece_count)
                check(number);
}

} // namespace

void split_file()
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
    if (!open_for_reading(source, *source_name))
        fail_opening(*source_name);
    if (!size_answer)
        fail("No size of the splitted files was given\n");
    const auto kilobytes = kilobytes_of(*size_answer);
    if (!kilobytes)
        fail("Invalid size of the splitted files : " + *size_answer + "\n");

    const std::int64_t piece_size = *kilobytes * 1024;
    const std::int64_t piece_count = (source.size + piece_size - 1) / piece_size;
    refuse_to_overwrite(source, *source_name, piece_count);

    // Opened before the first piece, so that its flush sees every failure.
    File folder;
    const bool flush_at_end = open_folder(folder);
    std::int64_t written = 0;
    while (written < piece_count) {
        const std::string piece_name = piece_file_name(written);
        std::cout << "Splitting and writing into file " << piece_name << "\n";
        File piece;
        if (!open_for_writing(piece, piece_name))
            fail_opening(piece_name);
        progress().piece(piece_name, written, piece_count, std::min(piece_size, source.size - written * piece_size));
        const std::int64_t copied = copy_data(source, *source_name, piece, piece_name, piece_size);
        if (!flush_at_end) {
            progress().flushing();
            if (!flush_file(piece))
                fail_writing(piece_name);
        }
        // Some file systems report a failed write only when the file closes.
        if (!close_file(piece))
            fail_writing(piece_name);
        ++written;
        // A source shorter than measured ends the run early.
        if (copied < piece_size)
            break;
    }
    // The farewell promises that every piece is on the disk.
    if (written > 0 && flush_at_end) {
        progress().flushing();
        if (!flush_folder(folder))
            fail_writing(piece_range(0, written - 1));
    }
    note_pieces_left(written);
}
