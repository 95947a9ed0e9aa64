#include "pieces/split.h"

#include "pieces/data_copy.h"
#include "pieces/erasure.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/folder_lock.h"
#include "pieces/interruption.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"
#include "pieces/piece_writer.h"
#include "pieces/recovery.h"
#include "pieces/replacement.h"
#include "pieces/report.h"
#include "pieces/room.h"
#include "pieces/split_rows.h"
#include "pieces/worker.h"

#include <algorithm>

namespace {

// Pieces that this split did not write; a join here leaves them out, as the
// manifest does not list them.
void tell_pieces_left(const PiecesHere& here, std::int64_t count)
{
    if (!here)
        report().pieces_past_the_split_unknown();
    else if (const auto past = pieces_past(*here, count))
        report().pieces_past_the_split(past->first, past->last);
}

// A piece is written only into a regular file or a free name, never
// through a link, which someone other than the user may have put there;
// and into a file only where its user may write it, asked before the first
// byte, so that an old run it cannot replace whole stays as it was. The
// manifest is replaced, not written in place.
void refuse_to_write(const std::string& name, NameInfo::Kind kind, bool written_in_place = true)
{
    if (kind == NameInfo::link)
        fail("Error : " + name + " is a link, and a split writes no piece through a link\n");
    if (kind != NameInfo::none && (kind != NameInfo::regular || (written_in_place && !may_write(name))))
        fail_opening(name);
}

// Every name the split will write is looked at before the first byte. The
// folder's listing tells what each name is, where it can; the others are
// asked. The manifest is put in place as a whole, a link at its name too.
void refuse_names_it_cannot_write(const PiecesHere& here, std::int64_t count, int recovery)
{
    if (const NameInfo::Kind kind = about(manifest_name).kind; kind != NameInfo::link)
        refuse_to_write(manifest_name, kind, false);
    for (int index = 0; index < recovery; ++index)
        refuse_to_write(recovery_file_name(index), about(recovery_file_name(index)).kind);
    std::vector<std::int64_t> existing;
    const auto look_at = [&](std::int64_t number, std::optional<NameInfo::Kind> kind) {
        const std::string name = piece_file_name(number);
        refuse_to_write(name, kind ? *kind : about(name).kind, false);
        if (kind ? *kind == NameInfo::regular : about(name).kind == NameInfo::regular)
            existing.push_back(number);
    };
    if (!here)
        for (std::int64_t number = 0; number < count; ++number)
            look_at(number, std::nullopt);
    else
        for (const PieceHere& piece : *here)
            if (piece.number < count)
                look_at(piece.number, piece.kind);
    // Leave to write each old piece, asked on every core: a re-split of
    // many small pieces asks it tens of thousands of times.
    constexpr std::size_t batch = 1024;
    std::vector<char> writable(existing.size());
    std::vector<Worker> helpers(existing.size() > 4 * batch ? threads_to_use() - 1 : 0);
    share_out(helpers, (existing.size() + batch - 1) / batch, [&](std::size_t first, std::size_t) {
        for (std::size_t i = first * batch; i < std::min(existing.size(), (first + 1) * batch); ++i)
            writable[i] = may_write(piece_file_name(existing[i]));
    });
    for (std::size_t i = 0; i < existing.size(); ++i)
        if (!writable[i])
            fail_opening(piece_file_name(existing[i]));
}

// Writes every piece; an interruption leaves the manifest unfinished.
Digest write_pieces(File& source, Manifest& manifest, const PiecesHere& here, CopyWays ways)
{
    // Room for each piece's checksum at once, up to a million pieces: grown
    // as it fills, the list would stand twice in memory for a moment.
    manifest.pieces.reserve(static_cast<std::size_t>(std::min<std::int64_t>(manifest.count, 1 << 20)));
    PieceWriter writer(source, manifest, here, ways);
    std::int64_t written = 0;
    try {
        for (; written < manifest.count; ++written)
            writer.write(written);
    } catch (const Interrupted& stop) {
        throw Failure{"Interrupted : " + piece_file_name(written)
                          + " is incomplete, and a join here would refuse these pieces\n",
                      stop.signal};
    }
    return writer.whole();
}

std::vector<File> open_recovery_files(const Manifest& manifest)
{
    report().writing_recovery_pieces(recovery_file_name(0), recovery_file_name(manifest.recovery - 1));
    std::vector<File> files(static_cast<std::size_t>(manifest.recovery));
    for (int index = 0; index < manifest.recovery; ++index)
        if (!create_piece(files[static_cast<std::size_t>(index)], recovery_file_name(index)))
            fail_opening(recovery_file_name(index));
    return files;
}

void close_recovery_files(std::vector<File>& files)
{
    for (File& file : files) {
        if (!can_flush_folder() && !flush_file(file))
            fail_writing(file.name);
        if (!close_file(file))
            fail_writing(file.name);
    }
}

// The recovery pieces, from the pieces as they stand on the disk, their
// checksums into the manifest.
void write_recovery(Manifest& manifest)
{
    std::vector<File> files = open_recovery_files(manifest);
    report().piece(recovery_file_name(0), 0, 1, manifest.piece_size);
    write_recovery_pieces(manifest, files);
    close_recovery_files(files);
}

// Every piece and recovery piece written at once, a row at a time, each
// byte of the source read once.
Digest write_by_rows(File& source, Manifest& manifest, const PiecesHere& here, CopyWays ways)
{
    PieceWriter writer(source, manifest, here, ways);
    std::vector<File> pieces(static_cast<std::size_t>(manifest.count));
    for (std::int64_t number = 0; number < manifest.count; ++number)
        writer.open(pieces[static_cast<std::size_t>(number)], number);
    std::vector<File> outs = open_recovery_files(manifest);
    report().piece(piece_range(0, manifest.count - 1), 0, 1, manifest.size);
    const Digest whole = split_by_rows(source, manifest, pieces, outs);
    for (std::int64_t number = 0; number < manifest.count; ++number) {
        File& piece = pieces[static_cast<std::size_t>(number)];
        if (piece.size > manifest.piece_bytes(number) && !set_size(piece, manifest.piece_bytes(number)))
            fail_writing(piece_file_name(number));
        writer.close(piece, number);
    }
    close_recovery_files(outs);
    return whole;
}

// Pieces and recovery pieces, together, are at most what the code holds;
// the XOR alone holds any number.
void refuse_too_many_pieces(const File& source, const Manifest& plan)
{
    const std::int64_t most = most_files_with_recovery - plan.recovery;
    if (plan.recovery < 2 || plan.count <= most)
        return;
    // Larger pieces are advised only where they still make two pieces or
    // more: one piece has no recovery pieces at all.
    const std::string advice =
        most < 2 ? "" : "; pieces of " + std::to_string((source.size + most * 1024 - 1) / (most * 1024)) + " KB or more would do";
    fail("Error : a run with " + std::to_string(plan.recovery) + " recovery pieces holds at most " + std::to_string(most)
         + (most == 1 ? " piece" : " pieces") + ", and this one would hold " + std::to_string(plan.count) + advice + "\n");
}

} // namespace

void open_source(File& source, const std::string& name)
{
    if (!open_for_reading(source, name))
        fail_opening(name);
    // Many files of the system's own (/proc, /sys) say they hold nothing and
    // have bytes all the same: their pieces cannot be planned.
    char byte;
    if (source.size == 0 && read_some(source, &byte, 1) > 0)
        fail("Error : " + name + " tells no size, so it cannot be split\n");
}

void split_file(File& source, std::int64_t piece_size, int recovery)
{
    Manifest manifest;
    manifest.source = base_name(source.name);
    manifest.size = source.size, manifest.piece_size = piece_size;
    manifest.count = piece_count(source.size, piece_size);
    // One piece would be its own copy.
    manifest.recovery = manifest.count > 1 ? recovery : 0;
    refuse_too_many_pieces(source, manifest);
    // Nothing is written before it is sure that no piece and no manifest is
    // the source, under whatever name (a path, a link).
    File lock;
    lock_this_folder(lock);
    sweep_leftovers(manifest_name, true);
    const PiecesHere here = pieces_here();
    refuse_names_it_cannot_write(here, manifest.count, manifest.recovery);
    if (const auto name = run_file_that_is(source.id, manifest.count, here, manifest.recovery))
        fail_overwriting(source, *name);
    const Room room = room_in(".");
    refuse_pieces_that_cannot_fit(source, manifest, here, room);
    report().work_starts();
    const CopyWays ways{room.keeps_holes, room.shares_copies && room.device == source.id.device};
    if (splits_by_rows(source, manifest, ways))
        try {
            manifest.whole = write_by_rows(source, manifest, here, ways);
        } catch (const Interrupted& stop) {
            throw Failure{"Interrupted : " + piece_range(0, manifest.count - 1)
                              + " are incomplete, and a join here would refuse these pieces\n",
                          stop.signal};
        }
    else
        manifest.whole = write_pieces(source, manifest, here, ways);
    if (changed_since_opened(source))
        fail_changed(source);
    if (manifest.recovery && manifest.recovery_pieces.empty())
        try {
            write_recovery(manifest);
        } catch (const Interrupted& stop) {
            throw Failure{"Interrupted : " + recovery_name + " is incomplete, and a join here would refuse these pieces\n",
                          stop.signal};
        }
    // The farewell promises that every piece is on the disk, before the
    // manifest that vouches for them.
    if (manifest.count > 0 && can_flush_folder()) {
        report().flushing();
        if (!flush_folder(lock))
            fail_writing(piece_range(0, manifest.count - 1));
    }
    manifest.finished = true;
    put_manifest(manifest);
    tell_pieces_left(here, manifest.count);
}
