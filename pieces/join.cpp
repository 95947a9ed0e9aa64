#include "pieces/join.h"

#include "pieces/checked_copy.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/folder_lock.h"
#include "pieces/interruption.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"
#include "pieces/recovery.h"
#include "pieces/replacement.h"
#include "pieces/report.h"
#include "pieces/room.h"

namespace {

// How many pieces the run has, FILE0.SPL on, where no manifest says; a run
// that cannot be whole is refused.
std::int64_t whole_run(const PiecesHere& here)
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

// The manifest's run; one of its pieces missing is refused before anything
// is written.
void refuse_a_listed_piece_missing(const Manifest& manifest, const PiecesHere& here)
{
    if (!here)
        return;
    std::int64_t next = 0;
    for (const PieceHere& piece : *here)
        if (piece.number == next)
            ++next;
    if (next < manifest.count)
        fail("Error : " + piece_file_name(next) + " is missing\n");
}

void open_piece(File& piece, std::int64_t number)
{
    if (!open_for_reading(piece, piece_file_name(number)))
        fail_opening(piece_file_name(number));
}

// Every piece as it is, none checked: pieces made before manifests were, or
// by hand. A piece that turns out shorter than measured adds what it has.
void copy_unchecked(File& output, std::int64_t count, CopyWays ways)
{
    for (std::int64_t number = 0; number < count; ++number) {
        File piece;
        open_piece(piece, number);
        report().piece(piece.name, number, count, piece.size);
        DataCopy(piece, nullptr, ways).into(output, piece.size);
    }
}

// What a join copies: the manifest's run, checked, or the whole run here;
// and what the checked copy found besides.
struct Run {
    Manifest manifest;
    bool checked = false;
    std::int64_t count = 0;
    PiecesHere here;
    CheckedCopyNotes notes;

    void copy_into(File& output, CopyWays ways = {})
    {
        if (checked)
            notes = copy_checked(output, manifest, ways);
        else
            copy_unchecked(output, count, ways);
    }
};

void find_run(Run& run)
{
    const ManifestRead found = read_manifest(run.manifest);
    if (found == ManifestRead::malformed)
        fail("Error : " + manifest_name + " is malformed, so these pieces cannot be checked\n");
    if (found == ManifestRead::read && !run.manifest.finished)
        fail("Error : the split that made these pieces did not finish\n");
    run.checked = found == ManifestRead::read;
    run.here = pieces_here();
    // One missing piece a recovery piece can rebuild.
    if (run.checked && !run.manifest.recovery)
        refuse_a_listed_piece_missing(run.manifest, run.here);
    run.count = run.checked ? run.manifest.count : whole_run(run.here);
}

// The sizes of the run's pieces: the manifest's, or without one, as they
// stand, through links.
std::vector<std::int64_t> piece_sizes(const Run& run)
{
    std::vector<std::int64_t> sizes;
    for (std::int64_t number = 0; number < run.count; ++number) {
        const NameInfo piece = run.checked ? NameInfo{} : about(piece_file_name(number), true);
        sizes.push_back(run.checked ? run.manifest.piece_bytes(number) : piece.kind == NameInfo::regular ? piece.size : 0);
    }
    return sizes;
}

// What the output's name holds now, refused where a join may not replace it.
NameInfo check_output(const std::string& output_name, const std::string& target, const Run& run)
{
    // Replacing the output must never take away a piece or the manifest.
    if (const auto output = identity_of(target))
        if (const auto name = run_file_that_is(*output, run.count, run.here, run.checked ? run.manifest.recovery : 0))
            fail("Error : writing into " + output_name + " would overwrite the " + run_file_kind(*name) + *name
                 + "\n");
    const NameInfo old = about(target);
    if (old.kind == NameInfo::folder || old.kind == NameInfo::unusable)
        fail_opening(output_name);
    // Replaced, a file its user may not write would be written all the same.
    if (old.kind == NameInfo::regular && !may_write(target))
        fail_opening(output_name);
    if (old.kind == NameInfo::regular && old.links > 1)
        fail("Error : " + output_name + " has other hard links, which a join would part from it\n");
    return old;
}

bool is_own_output(const std::string& output_name)
{
    const auto output = identity_of(output_name);
    return output && output == standard_output();
}

// Devices and pipes take the bytes as they come. The program's own output
// takes them after what the program printed there: replaced, it would be
// parted from the rest of what the program prints.
void write_in_place(const std::string& output_name, Run& run)
{
    File output;
    const bool own = is_own_output(output_name);
    if (!(own ? open_standard_output(output) : open_for_writing(output, output_name, false)))
        fail_opening(output_name);
    output.name = output_name;
    // Shared with what the program prints, it is sent bytes as a device is:
    // none is taken back, and none is shared by the file system.
    if (own)
        output.regular = false;
    run.copy_into(output);
    report().flushing();
    if (!flush_file(output) || !close_file(output))
        fail_writing(output_name);
}

// A file is replaced whole once every piece is in, or not at all.
void replace_output(const std::string& output_name, const std::string& target, Run& run, const Room& room)
{
    Replacement output(target, output_name);
    const auto pieces = identity_of(".");
    run.copy_into(output.file(), {room.keeps_holes, room.shares_copies && pieces && pieces->device == room.device});
    report().flushing();
    stop_if_interrupted();
    output.put_in_place();
}

bool writes_in_place(const std::string& output_name)
{
    return is_device_or_pipe(output_name) || is_own_output(output_name);
}

// The interruption's message: what it left of the output.
[[noreturn]] void interrupted(const Interrupted& stop, const std::string& output_name, bool in_place, const NameInfo& old)
{
    const std::string left = in_place                          ? " got only part of the pieces"
                             : old.kind == NameInfo::regular ? " is unchanged"
                                                             : " was not created";
    throw Failure{"Interrupted : " + output_name + left + "\n", stop.signal};
}

void tell_what_was_found(const Run& run)
{
    if (!run.checked)
        return report().joined_unchecked(about(recovery_name).kind != NameInfo::none);
    for (const Repair& repair : run.notes.repairs)
        if (repair.missing || repair.blocks == repair.of)
            report().rebuilt(repair.piece, repair.missing, repair.from);
        else
            report().repaired(repair.piece, repair.blocks, repair.of, repair.from);
    for (const Unusable& spare : run.notes.unusable)
        report().recovery_unusable(spare.name, spare.why);
    if (!run.here)
        return;
    if (const auto past = pieces_past(*run.here, run.count))
        report().pieces_past_the_manifest(past->first, past->last);
}

} // namespace

void join_pieces(const std::string& output_name)
{
    // An empty name names nothing; refused before any work.
    if (output_name.empty())
        fail_opening(output_name);
    File lock;
    lock_this_folder(lock);
    Run run;
    find_run(run);
    const bool in_place = writes_in_place(output_name);
    // A chain of links at the output's name is the user's own: what it
    // leads to is replaced, and the links stay.
    const auto target = final_name(output_name);
    if (!target)
        fail_opening(output_name);
    File output_folder;
    if (!in_place)
        lock_output_folder(output_folder, folder_name(*target), output_name);
    const NameInfo old = in_place ? NameInfo{} : check_output(output_name, *target, run);
    // What a stopped join left is counted free, once removed.
    if (!in_place)
        sweep_leftovers(*target, false);
    const Room room = in_place ? Room{} : room_in(folder_name(*target));
    refuse_an_output_that_cannot_fit(output_name, piece_sizes(run), run.checked ? run.manifest.recovery : 0, room);
    report().work_starts();
    try {
        in_place ? write_in_place(output_name, run) : replace_output(output_name, *target, run, room);
    } catch (const Interrupted& stop) {
        interrupted(stop, output_name, in_place, old);
    }
    tell_what_was_found(run);
}
