#include "pieces/join.h"

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

// How many pieces the run has, FILE0.SPL on, where no manifest says; a run
// that cannot be whole is refused.
std::int64_t whole_run(const std::optional<std::vector<PieceHere>>& here)
{
    if (!here)
        fail_reading(".");
    const std::int64_t listed = static_cast<std::int64_t>(here->size());
    std::int64_t count = 0;
    while (count < listed && (*here)[count].number == count)
        ++count;
    if (count == 0)
        fail("Error : there is no FILE0.SPL here to join\n");
    if (count < listed)
        fail("Error : " + piece_file_name(count) + " is missing, so the pieces from "
             + piece_file_name((*here)[count].number) + " on cannot be joined\n");
    return count;
}

// How many pieces the manifest lists; one of them missing is refused before
// anything is written.
std::int64_t listed_run(const Manifest& manifest, const std::optional<std::vector<PieceHere>>& here)
{
    if (!here)
        return manifest.count;
    std::int64_t next = 0;
    for (const PieceHere& piece : *here)
        if (piece.number == next)
            ++next;
    if (next < manifest.count)
        fail("Error : " + piece_file_name(next) + " is missing\n");
    return manifest.count;
}

// Pieces here that the manifest does not list.
void note_pieces_left_out(const std::optional<std::vector<PieceHere>>& here, std::int64_t count)
{
    if (!here || here->empty() || here->back().number < count)
        return;
    const auto first = std::find_if(here->begin(), here->end(), [&](const PieceHere& p) { return p.number >= count; });
    const bool one = first->number == here->back().number;
    std::cout << "Note : " << piece_range(first->number, here->back().number) << (one ? " was" : " were")
              << " here but " << (one ? "is" : "are") << " not in " << manifest_name << ", so this join left "
              << (one ? "it" : "them") << " out\n";
}

// Replacing the output must never take away a piece or the manifest.
void refuse_a_file_of_the_run(const std::string& output_name, const std::string& target, std::int64_t count)
{
    const auto output = identity_of(target);
    if (!output)
        return;
    for (std::int64_t number = 0; number < count; ++number)
        if (identity_of(piece_file_name(number)) == output)
            fail("Error : writing into " + output_name + " would overwrite the piece " + piece_file_name(number)
                 + "\n");
    if (identity_of(manifest_name) == output)
        fail("Error : writing into " + output_name + " would overwrite the manifest " + manifest_name + "\n");
}

[[noreturn]] void fail_damaged(const std::string& piece_name)
{
    fail("Error : " + piece_name + " is damaged: it differs from " + manifest_name + "\n");
}

// Copies the run into `output`, each piece checked against the manifest
// where there is one, before a byte of the next is copied.
void copy_run(File& output, const std::string& output_name, std::int64_t count, const Manifest* manifest)
{
    Checksums sums;
    // Gone before the piece is, however the loop is left.
    struct LetGo {
        Checksums& sums;
        ~LetGo() { sums.let_go(); }
    };
    for (std::int64_t number = 0; number < count; ++number) {
        const std::string piece_name = piece_file_name(number);
        File piece;
        const LetGo reading{sums};
        // A piece that went away since the folder was read is no end of the run.
        if (!open_for_reading(piece, piece_name)) {
            if (manifest && about(piece_name).kind == NameInfo::none)
                fail("Error : " + piece_name + " is missing\n");
            fail_opening(piece_name);
        }
        if (manifest && piece.size != manifest->piece_bytes(number))
            fail_damaged(piece_name);
        progress().piece(piece_name, number, count, piece.size);
        // A piece that turns out shorter than measured adds only what it has.
        const std::int64_t copied =
            copy_data(piece, piece_name, output, output_name, piece.size, manifest ? &sums : nullptr);
        if (!manifest)
            continue;
        const auto digest = sums.piece_done();
        if (!digest)
            fail("Error Reading the file : " + piece_name + " (" + sums.why() + ")\n");
        if (copied != piece.size || *digest != manifest->pieces[static_cast<std::size_t>(number)])
            fail_damaged(piece_name);
    }
    if (manifest && sums.whole() != manifest->whole)
        fail("Error : the joined pieces differ from the file that was split, by " + manifest_name + "\n");
}

} // namespace

void join_pieces()
{
    std::cout << "File name to write (Warning : This file will be overwritten) : ";
    const auto output_name = read_word();
    if (!output_name)
        fail("No file name to write was given\n");
    File lock;
    lock_this_folder(lock);
    Manifest manifest;
    const ManifestRead found = read_manifest(manifest);
    if (found == ManifestRead::malformed)
        fail("Error : " + manifest_name + " is malformed, so these pieces cannot be checked\n");
    if (found == ManifestRead::read && !manifest.finished)
        fail("Error : the split that made these pieces did not finish\n");
    const Manifest* checked = found == ManifestRead::read ? &manifest : nullptr;
    const auto here = pieces_here();
    const std::int64_t count = checked ? listed_run(manifest, here) : whole_run(here);

    // A link at the output's name is the user's own: what it leads to is
    // replaced, and the link stays.
    const std::string target = final_name(*output_name);
    refuse_a_file_of_the_run(*output_name, target, count);
    const NameInfo old = about(target);
    if (old.kind == NameInfo::folder || old.kind == NameInfo::unusable)
        fail_opening(*output_name);
    if (old.kind == NameInfo::regular && old.links > 1)
        fail("Error : " + *output_name + " has other hard links, which a join would part from it\n");
    catch_interruptions();

    // Devices and pipes take the bytes as they come; a file is replaced whole
    // once every piece is in, or not at all.
    try {
        if (old.kind == NameInfo::other) {
            File output;
            if (!open_for_writing(output, target, false))
                fail_opening(*output_name);
            copy_run(output, *output_name, count, checked);
            progress().flushing();
            if (!flush_file(output) || !close_file(output))
                fail_writing(*output_name);
        } else {
            Replacement output(target);
            copy_run(output.file(), *output_name, count, checked);
            progress().flushing();
            stop_if_interrupted();
            output.put_in_place();
        }
    } catch (const Interrupted& stop) {
        const std::string left = old.kind == NameInfo::other     ? " got only part of the pieces"
                                 : old.kind == NameInfo::regular ? " is unchanged"
                                                                 : " was not created";
        throw Failure{"Interrupted : " + *output_name + left + "\n", stop.signal};
    }
    if (checked)
        note_pieces_left_out(here, count);
}
