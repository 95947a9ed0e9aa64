#include "pieces/split.h"

#include "console/answers.h"
#include "console/platform.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/interruption.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"
#include "pieces/progress.h"
#include "pieces/replacement.h"

#include <algorithm>
#include <iostream>

namespace {

// Pieces that this split did not write; a join here leaves them out, as the
// manifest does not list them.
void note_pieces_left(const std::optional<std::vector<PieceHere>>& here, std::int64_t count)
{
    if (!here) {
        std::cout << "Note : this folder cannot be read, so pieces here from before this split are not named;"
                     " a join here would leave them out\n";
        return;
    }
    if (here->empty() || here->back().number < count)
        return;
    const auto first = std::find_if(here->begin(), here->end(), [&](const PieceHere& p) { return p.number >= count; });
    const bool one = first->number == here->back().number;
    std::cout << "Note : " << piece_range(first->number, here->back().number) << (one ? " was" : " were")
              << " here before this split; a join here would leave " << (one ? "it" : "them") << " out\n";
}

// Nothing is written before it is sure that no piece and no manifest is the
// source, under whatever name (a path, a link), and that no piece's name is
// a link, which someone other than the user may have put there. The
// folder's listing tells links and file numbers, so of thousands of old
// pieces only those that could be the source are asked about.
void refuse_to_overwrite(const File& source, const std::string& source_name,
                         const std::optional<std::vector<PieceHere>>& here, std::int64_t piece_count)
{
    const auto check = [&](const std::string& name, std::optional<std::uint64_t> number, std::optional<bool> link) {
        NameInfo info;
        if (!link || (*link == false && (!number || *number == source.id.number)))
            info = about(name);
        if (link.value_or(info.kind == NameInfo::link))
            fail("Error : " + name + " is a link, and a split writes no piece through a link\n");
        if (info.kind == NameInfo::regular && info.id == source.id)
            fail("Error : splitting " + source_name + " would overwrite it as the piece " + name + "\n");
    };
    if (!here)
        for (std::int64_t number = 0; number < piece_count; ++number)
            check(piece_file_name(number), std::nullopt, std::nullopt);
    else
        for (const PieceHere& piece : *here)
            if (piece.number < piece_count)
                check(piece_file_name(piece.number), piece.file_number(), piece.link);
    const NameInfo manifest = about(manifest_name);
    if (manifest.kind == NameInfo::regular && manifest.id == source.id)
        fail("Error : splitting " + source_name + " would overwrite it as the manifest " + manifest_name + "\n");
}

// A name the listing shows free is simply created. Any other is opened
// first, so that the source is refused untouched, and overwritten where it
// stands, then cut to its new length: cutting first would free each old
// block only to take it again (on ext4, four times as slow or worse over
// thousands of small pieces). Holes are left unwritten, so where they are
// copied it is cut first.
void open_piece(File& piece, const std::string& name, bool free, const File& source, const std::string& source_name)
{
    if (free) {
        if (!create_piece(piece, name))
            fail_opening(name);
        return;
    }
    if (!open_for_writing(piece, name, true) || !is_regular(piece))
        fail_opening(name);
    if (piece.id == source.id)
        fail("Error : splitting " + source_name + " would overwrite it as the piece " + name + "\n");
    if (source.has_holes && piece.size > 0) {
        if (!set_size(piece, 0))
            fail_writing(name);
        piece.size = 0;
    }
}

void put_manifest(const Manifest& manifest)
{
    Replacement file(manifest_name);
    if (!write_manifest(file.file(), manifest))
        fail_writing(manifest_name);
    file.put_in_place();
}

[[noreturn]] void fail_changed(const std::string& source_name)
{
    fail("Error : " + source_name + " changed while it was split\n");
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
    File lock;
    lock_this_folder(lock);
    const auto here = pieces_here();
    refuse_to_overwrite(source, *source_name, here, piece_count);
    catch_interruptions();

    // Until the split is done, its manifest says so: a join of what it
    // leaves refuses.
    Manifest manifest;
    manifest.source = base_name(*source_name);
    manifest.size = source.size, manifest.piece_size = piece_size, manifest.count = piece_count;
    put_manifest(manifest);
    // Room for each piece's checksum at once, up to a million pieces: grown
    // as it fills, the list would stand twice in memory for a moment.
    manifest.pieces.reserve(static_cast<std::size_t>(std::min<std::int64_t>(piece_count, 1 << 20)));
    Checksums sums;
    std::int64_t written = 0;
    std::size_t listed = 0;
    try {
        for (; written < piece_count; ++written) {
            const std::string piece_name = piece_file_name(written);
            std::cout << "Splitting and writing into file " << piece_name << "\n";
            while (here && listed < here->size() && (*here)[listed].number < written)
                ++listed;
            const bool free = here && (listed == here->size() || (*here)[listed].number != written);
            File piece;
            open_piece(piece, piece_name, free, source, *source_name);
            const std::int64_t bytes = manifest.piece_bytes(written);
            progress().piece(piece_name, written, piece_count, bytes);
            const std::int64_t copied = copy_data(source, *source_name, piece, piece_name, bytes, &sums);
            if (piece.size > copied && !set_size(piece, copied))
                fail_writing(piece_name);
            const auto digest = sums.piece_done();
            if (!digest)
                fail("Error Reading the file : " + *source_name + " (" + sums.why() + ")\n");
            if (copied < bytes)
                fail_changed(*source_name);
            manifest.pieces.push_back(*digest);
            if (!can_flush_folder()) {
                progress().flushing();
                if (!flush_file(piece))
                    fail_writing(piece_name);
            }
            // Some file systems report a failed write only when the file closes.
            if (!close_file(piece))
                fail_writing(piece_name);
        }
    } catch (const Interrupted& stop) {
        throw Failure{"Interrupted : " + piece_file_name(written)
                          + " is incomplete, and a join here would refuse these pieces\n",
                      stop.signal};
    }
    if (changed_since_opened(source))
        fail_changed(*source_name);
    // The farewell promises that every piece is on the disk, before the
    // manifest that vouches for them.
    if (written > 0 && can_flush_folder()) {
        progress().flushing();
        if (!flush_folder(lock))
            fail_writing(piece_range(0, written - 1));
    }
    manifest.finished = true;
    manifest.whole = sums.whole();
    put_manifest(manifest);
    note_pieces_left(here, written);
}
