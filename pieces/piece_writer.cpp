#include "pieces/piece_writer.h"

#include "pieces/failure.h"
#include "pieces/replacement.h"
#include "pieces/report.h"
#include "pieces/split_rows.h"

[[noreturn]] void fail_overwriting(const File& source, const std::string& name)
{
    fail("Error : splitting " + source.name + " would overwrite it as the " + run_file_kind(name) + name + "\n");
}

namespace {

// A name the listing shows free is simply created. Any other is opened
// first, so that the source is refused untouched, and overwritten where it
// stands, then cut to its new length: cutting first would free each old
// block only to take it again (on ext4, four times as slow or worse over
// thousands of small pieces). Holes are left unwritten, so where they are
// copied it is cut first (cut_for_holes).
void open_piece(File& piece, const std::string& name, bool free, const File& source)
{
    if (free) {
        if (!create_piece(piece, name))
            fail_opening(name);
        return;
    }
    if (!open_for_writing(piece, name, true) || !is_regular(piece))
        fail_opening(name);
    if (piece.id == source.id)
        fail_overwriting(source, name);
}

void cut_for_holes(File& piece, const File& source, bool holes_kept)
{
    if (source.has_holes && holes_kept && piece.size > 0) {
        if (!set_size(piece, 0))
            fail_writing(piece.name);
        piece.size = 0;
    }
}

} // namespace

void put_manifest(const Manifest& manifest)
{
    Replacement file(manifest_name, manifest_name);
    if (!write_manifest(file.file(), manifest))
        fail_writing(manifest_name);
    file.put_in_place();
}

bool PieceWriter::free(std::int64_t number)
{
    while (here_ && listed_ < here_->size() && (*here_)[listed_].number < number)
        ++listed_;
    return here_ && (listed_ == here_->size() || (*here_)[listed_].number != number);
}

void PieceWriter::open(File& piece, std::int64_t number)
{
    const std::string name = piece_file_name(number);
    report().writing_piece(name);
    // Until the split is done, its manifest says so, and a join of what it
    // leaves refuses. An old first piece is opened before, so that a split
    // that cannot open it leaves an old run that still joins; a new one is
    // created after, so that no piece stands without it.
    const bool is_free = free(number), listed = here_ && !is_free;
    if (number == 0 && !listed)
        put_manifest(manifest_);
    open_piece(piece, name, is_free, source_);
    if (number == 0 && listed)
        put_manifest(manifest_);
    cut_for_holes(piece, source_, holes_kept_);
}

void PieceWriter::write(std::int64_t number)
{
    File piece;
    open(piece, number);
    const std::string name = piece_file_name(number);
    const std::int64_t bytes = manifest_.piece_bytes(number);
    report().piece(name, number, manifest_.count, bytes);
    const std::int64_t copied = copy_.into(piece, bytes);
    if (piece.size > copied && !set_size(piece, copied))
        fail_writing(name);
    const Digest digest = sums_.piece_done();
    if (copied < bytes)
        fail_changed(source_);
    manifest_.pieces.push_back(digest);
    close(piece, number);
}

void PieceWriter::close(File& piece, std::int64_t number)
{
    const std::string name = piece_file_name(number);
    const std::int64_t bytes = manifest_.piece_bytes(number);
    // A size set past what was written, for holes, is one some file
    // systems ignore (a FAT over FUSE).
    if (source_.has_holes && size_now(piece) != bytes)
        fail("Error Writing the file : " + name + " (it holds " + std::to_string(size_now(piece)) + " of its "
             + std::to_string(bytes) + " bytes)\n");
    if (!can_flush_folder()) {
        report().flushing();
        if (!flush_file(piece))
            fail_writing(name);
    }
    // Some file systems report a failed write only when the file closes.
    if (!close_file(piece))
        fail_writing(name);
}
