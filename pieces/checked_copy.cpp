#include "pieces/checked_copy.h"

#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/piece_files.h"
#include "pieces/recovery.h"
#include "pieces/report.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void fail_damaged(const std::string& piece_name)
{
    fail("Error : " + piece_name + " is damaged: it differs from " + manifest_name + "\n");
}

// Reads an open file from where it stands to its end into `sums`; how many
// bytes it held, or -1 where a read failed or `given_up` was set. Only the
// main thread, which has no `given_up`, stops for an interruption.
std::int64_t read_into(File& file, Checksums& sums, const std::atomic<bool>* given_up = nullptr)
{
    std::vector<char> block(1 << 20);
    std::int64_t total = 0;
    for (std::int64_t got; (got = read_some(file, block.data(), static_cast<std::int64_t>(block.size()))) != 0;) {
        if (got < 0 || (given_up && *given_up))
            return -1;
        if (!given_up)
            stop_if_interrupted();
        sums.took(block.data(), got), total += got;
    }
    return total;
}

// Whether a file holds what the manifest says, read whole; false as soon
// as `given_up` is set.
bool holds(const std::string& name, std::int64_t size, const Digest& digest,
           const std::atomic<bool>* given_up = nullptr)
{
    File file;
    if (!open_for_reading(file, name) || file.size != size)
        return false;
    Checksums sums(Checksums::one_file);
    return read_into(file, sums, given_up) == size && sums.piece_done() == digest;
}

// The recovery piece read in a thread of its own while the pieces are
// copied: the copy leaves a core idle, so a whole run costs little more
// with it than without. Given up when a piece needs the recovery piece, a
// failure or an interruption.
class RecoveryPieceCheck {
public:
    explicit RecoveryPieceCheck(const Manifest& manifest)
        : thread_([this, &manifest] {
              whole_ = holds(recovery_name, manifest.piece_size, manifest.recovery_digest, &given_up_);
          })
    {
    }
    ~RecoveryPieceCheck() { give_up(); }
    void give_up()
    {
        given_up_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool whole()
    {
        if (thread_.joinable())
            thread_.join();
        return whole_ && !given_up_;
    }

private:
    std::atomic<bool> given_up_{false};
    bool whole_ = false;
    std::thread thread_;
};

// Into `output`, or with none, a dry run: every check and every rebuild,
// nothing written.
class CheckedCopy {
public:
    CheckedCopy(File* output, const Manifest& manifest, CopyWays ways, std::optional<std::int64_t> damaged)
        : output_(output), manifest_(manifest), ways_(ways), damaged_(damaged)
    {
    }
    CheckedCopyNotes run();

private:
    void find_bad_before();
    void copy_piece(std::int64_t number);
    void rebuild(std::int64_t number, bool missing);
    [[noreturn]] void fail_too_many(std::vector<std::int64_t> bad);
    void check_recovery_piece();
    [[noreturn]] void fail_rebuilding(std::int64_t number, bool missing);

    File* output_;
    const Manifest& manifest_;
    CopyWays ways_;
    Checksums sums_;
    std::vector<std::int64_t> missing_, wrong_size_;  // known before a byte is copied
    std::optional<std::int64_t> damaged_;  // known from a dry run
    CheckedCopyNotes notes_;
    std::optional<RecoveryPieceCheck> recovery_check_;  // while every piece may be whole
};

// With a recovery piece, the pieces missing or of the wrong size are found
// first: one is rebuilt in its turn, two are refused at once.
void CheckedCopy::find_bad_before()
{
    for (std::int64_t number = 0; number < manifest_.count; ++number) {
        const NameInfo piece = about(piece_file_name(number), true);
        if (piece.kind == NameInfo::none)
            missing_.push_back(number);
        else if (piece.kind == NameInfo::regular && piece.size != manifest_.piece_bytes(number))
            wrong_size_.push_back(number);
    }
    std::vector<std::int64_t> bad = missing_;
    bad.insert(bad.end(), wrong_size_.begin(), wrong_size_.end());
    if (bad.size() > 1)
        fail_too_many(bad);
}

[[noreturn]] void CheckedCopy::fail_too_many(std::vector<std::int64_t> bad)
{
    std::sort(bad.begin(), bad.end());
    std::string names;
    std::size_t missing = 0;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == bad.size() ? " and " : ", ") + piece_file_name(bad[i]);
        missing += about(piece_file_name(bad[i])).kind == NameInfo::none;
    }
    fail("Error : " + names
         + (missing == bad.size() ? " are missing" : missing > 0 ? " are missing or damaged" : " are damaged")
         + ", and one recovery piece rebuilds only one\n");
}

// The piece's bytes from the recovery piece and all the others, in its
// place in `output`, checked as any piece is.
void CheckedCopy::rebuild(std::int64_t number, bool missing)
{
    const std::string name = piece_file_name(number);
    if (notes_.rebuilt)
        fail_too_many({*notes_.rebuilt, number});
    // Another found missing or of the wrong size is waiting its turn.
    for (const auto* known : {&missing_, &wrong_size_})
        for (const std::int64_t other : *known)
            if (other != number)
                fail_too_many({number, other});
    // Read through a link, as a piece is.
    const NameInfo spare = about(recovery_name, true);
    if (spare.kind != NameInfo::regular || spare.size != manifest_.piece_size)
        fail("Error : " + name + (missing ? " is missing" : " is damaged") + ", and " + recovery_name
             + " cannot rebuild it\n");
    std::vector<std::string> names{recovery_name};
    std::vector<std::int64_t> sizes{manifest_.piece_size};
    for (std::int64_t other = 0; other < manifest_.count; ++other)
        if (other != number)
            names.push_back(piece_file_name(other)), sizes.push_back(manifest_.piece_bytes(other));
    if (recovery_check_)
        recovery_check_->give_up();
    if (output_)
        report().piece(name, number, manifest_.count, manifest_.piece_bytes(number));
    write_xor(names, sizes, output_, manifest_.piece_bytes(number), sums_);
    if (sums_.piece_done() != manifest_.pieces[static_cast<std::size_t>(number)])
        fail_rebuilding(number, missing);
    notes_.rebuilt = number, notes_.rebuilt_was_missing = missing;
}

// What was rebuilt is not the piece: another piece is damaged too (the
// pieces after it are not checked yet), or the recovery piece is.
[[noreturn]] void CheckedCopy::fail_rebuilding(std::int64_t number, bool missing)
{
    std::vector<std::int64_t> bad{number};
    for (std::int64_t other = 0; other < manifest_.count; ++other)
        if (other != number && !holds(piece_file_name(other), manifest_.piece_bytes(other), manifest_.pieces[other]))
            bad.push_back(other);
    if (bad.size() > 1)
        fail_too_many(bad);
    const std::string piece = piece_file_name(number) + (missing ? " is missing" : " is damaged") + ", and ";
    // Whole by the manifest, it was made from other pieces than those it
    // lists: one changed while they were split.
    if (holds(recovery_name, manifest_.piece_size, manifest_.recovery_digest))
        fail("Error : " + piece + recovery_name + " cannot rebuild it: it was made from pieces other than those "
             + manifest_name + " lists\n");
    fail("Error : " + piece + recovery_name + ", which would rebuild it, is damaged too\n");
}

void CheckedCopy::copy_piece(std::int64_t number)
{
    const std::string name = piece_file_name(number);
    const bool missing = std::count(missing_.begin(), missing_.end(), number) > 0;
    if (missing || std::count(wrong_size_.begin(), wrong_size_.end(), number) > 0 || damaged_ == number)
        return rebuild(number, missing);
    File piece;
    if (!open_for_reading(piece, name)) {
        if (about(name).kind != NameInfo::none)
            fail_opening(name);
        if (!manifest_.recovery)
            fail("Error : " + name + " is missing\n");
        return rebuild(number, true);
    }
    if (piece.size != manifest_.piece_bytes(number))
        return manifest_.recovery ? rebuild(number, false) : fail_damaged(name);
    const std::int64_t start = output_ ? position_of(*output_) : 0;
    if (output_)
        report().piece(name, number, manifest_.count, piece.size);
    const std::int64_t copied =
        output_ ? DataCopy(piece, &sums_, ways_).into(*output_, piece.size) : read_into(piece, sums_);
    if (sums_.piece_done() == manifest_.pieces[static_cast<std::size_t>(number)] && copied == piece.size)
        return;
    // Its place in the output is taken again, where the output can go back:
    // one that cannot had a dry run first, which found the piece whole.
    if (!manifest_.recovery || (output_ && (!can_rewind(*output_) || start < 0 || !move_to(*output_, start))))
        fail_damaged(name);
    sums_.piece_again();
    rebuild(number, false);
}

// Every piece was whole: the recovery piece is looked at only to say
// whether it could have served.
void CheckedCopy::check_recovery_piece()
{
    if (about(recovery_name).kind == NameInfo::none)
        notes_.recovery_missing = true;
    else if (!recovery_check_->whole())
        notes_.recovery_missing = false;
}

CheckedCopyNotes CheckedCopy::run()
{
    if (manifest_.recovery)
        find_bad_before();
    if (manifest_.recovery && missing_.empty() && wrong_size_.empty() && !damaged_)
        recovery_check_.emplace(manifest_);
    for (std::int64_t number = 0; number < manifest_.count; ++number)
        copy_piece(number);
    if (sums_.whole() != manifest_.whole)
        fail("Error : the joined pieces differ from the file that was split, by " + manifest_name + "\n");
    if (manifest_.recovery && !notes_.rebuilt)
        check_recovery_piece();
    return notes_;
}

} // namespace

CheckedCopyNotes copy_checked(File& output, const Manifest& manifest, CopyWays ways)
{
    // An output that cannot take back what it was sent is sent only what a
    // dry run vouched for, rebuilt where need be.
    std::optional<std::int64_t> damaged;
    if (!can_rewind(output))
        if (const CheckedCopyNotes dry = CheckedCopy(nullptr, manifest, ways, {}).run();
            dry.rebuilt && !dry.rebuilt_was_missing)
            damaged = dry.rebuilt;
    return CheckedCopy(&output, manifest, ways, damaged).run();
}
