#include "pieces/checked_copy.h"

#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/piece_files.h"
#include "pieces/recovery.h"
#include "pieces/report.h"
#include "pieces/worker.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace {

[[noreturn]] void fail_damaged(const std::string& piece_name)
{
    fail("Error : " + piece_name + " is damaged: it differs from " + manifest_name + "\n");
}

// A piece that differs from what was checked a moment before, or that its
// size or times show changed while it was read, is named as changed.
[[noreturn]] void fail_changed_or_damaged(File& piece, bool checked_before)
{
    if (checked_before || changed_since_opened(piece))
        fail_reading(piece.name, "it changed while it was read");
    fail_damaged(piece.name);
}

// Reads at most `limit` bytes of an open file from where it stands into
// `sums`; how many it held, or -1 where a read failed or `given_up` was
// set. Only the main thread, which has no `given_up`, stops for an
// interruption.
std::int64_t read_into(File& file, Checksums& sums, std::int64_t limit, const std::atomic<bool>* given_up = nullptr)
{
    std::vector<char> block(1 << 20);
    std::int64_t total = 0;
    for (std::int64_t got; total < limit; total += got) {
        got = read_some(file, block.data(), std::min<std::int64_t>(limit - total, 1 << 20));
        if (got < 0 || (given_up && *given_up))
            return -1;
        if (got == 0)
            break;
        if (!given_up)
            stop_if_interrupted();
        sums.took(block.data(), got);
    }
    return total;
}

// Whether bytes [at, at + size) of a file are what the manifest says, the
// file being `length` long; false as soon as `given_up` is set.
bool holds(const std::string& name, std::int64_t length, std::int64_t at, std::int64_t size, const Digest& digest,
           const std::atomic<bool>* given_up = nullptr)
{
    File file;
    if (!open_for_reading(file, name) || file.size != length || !move_to(file, at))
        return false;
    Checksums sums(Checksums::one_file);
    return read_into(file, sums, size, given_up) == size && sums.piece_done() == digest;
}

// The recovery pieces read in a thread of their own while the pieces are
// copied: the copy leaves a core idle, so a whole run costs little more
// with them than without. Given up when a piece needs them, a failure or
// an interruption.
class RecoveryCheck {
public:
    // Those not `to_read` (no regular files) are not opened.
    RecoveryCheck(const Manifest& manifest, std::vector<bool> to_read)
        : whole_(static_cast<std::size_t>(manifest.recovery), false)
    {
        worker_.hand([this, &manifest, to_read = std::move(to_read)] {
            for (int index = 0; index < manifest.recovery && !given_up_; ++index)
                whole_[static_cast<std::size_t>(index)] = to_read[static_cast<std::size_t>(index)] &&
                    holds(recovery_file_name(index), manifest.piece_size, 0, manifest.piece_size,
                          manifest.recovery_pieces[static_cast<std::size_t>(index)], &given_up_);
        });
    }
    ~RecoveryCheck() { given_up_ = true; }
    void give_up()
    {
        given_up_ = true;
        worker_.wait();
    }
    bool whole(int index)
    {
        worker_.wait();
        return whole_[static_cast<std::size_t>(index)] && !given_up_;
    }

private:
    std::atomic<bool> given_up_{false};
    std::vector<bool> whole_;
    Worker worker_;  // last: it stops before what its job uses goes
};

void note_rows(Repair& repair, const std::vector<int>& rows)
{
    ++repair.blocks;
    for (const int row : rows)
        if (std::count(repair.from.begin(), repair.from.end(), recovery_file_name(row)) == 0)
            repair.from.push_back(recovery_file_name(row));
}

// What a dry run found, for the copy that follows it into an output that
// cannot go back: the pieces to take block by block, and their bad blocks.
struct Damage {
    std::set<std::int64_t> pieces;
    std::set<std::pair<std::int64_t, std::int64_t>> blocks;
};

enum class State : char { whole, missing, wrong_size };

// Into `output`, or with none, a dry run: every check and every rebuild,
// nothing written.
class CheckedCopy {
public:
    CheckedCopy(File* output, const Manifest& manifest, CopyWays ways, Damage known)
        : output_(output), manifest_(manifest), ways_(ways), known_(std::move(known)), bad_(known_.blocks),
          states_(static_cast<std::size_t>(manifest.files()), State::whole),
          copied_whole_(static_cast<std::size_t>(manifest.count), false)
    {
    }
    CheckedCopyNotes run();
    Damage damage() const { return {restreamed_, bad_}; }

private:
    void find_lost_files();
    void refuse_what_no_row_can_rebuild();
    void copy_piece(std::int64_t number);
    void restream(std::int64_t number, bool in_output = false);
    bool copy_block(File& piece, std::int64_t number, std::int64_t block);
    void rebuild_block(std::int64_t number, std::int64_t block, Repair& repair);
    bool rebuild_row(std::int64_t number, std::int64_t block, Repair& repair, bool checked);
    bool known_bad(std::int64_t file, std::int64_t block) const;
    bool read_back(std::int64_t number, std::int64_t block);
    bool block_whole(std::int64_t file, std::int64_t block);
    [[noreturn]] void fail_row(const std::vector<std::int64_t>& pieces, const std::vector<std::int64_t>& spares);
    [[noreturn]] void fail_rebuilding(std::int64_t number);
    void check_recovery_pieces();
    void end_output();
    State state(std::int64_t file) const { return states_[static_cast<std::size_t>(file)]; }

    File* output_;
    const Manifest& manifest_;
    CopyWays ways_;
    Damage known_;
    Checksums sums_;
    std::set<std::pair<std::int64_t, std::int64_t>> bad_;  // (file, block) found bad
    std::map<std::pair<std::int64_t, std::int64_t>, bool> checked_;
    // Blocks of later pieces rebuilt with an earlier one's, in their place
    // in the output ahead of the copy, and the recovery pieces they took.
    std::map<std::pair<std::int64_t, std::int64_t>, std::vector<int>> ahead_;
    std::int64_t origin_ = 0;  // where the output stood at the start
    std::vector<State> states_;  // known before a byte is copied
    std::vector<bool> copied_whole_;  // a bit a piece: a run may have millions
    std::set<std::int64_t> restreamed_;
    CheckedCopyNotes notes_;
    std::optional<RecoveryCheck> recovery_check_;  // while every piece may be whole
};

void CheckedCopy::find_lost_files()
{
    for (std::int64_t file = 0; file < manifest_.files(); ++file) {
        const NameInfo found = about(manifest_.file_name(file), true);
        if (found.kind == NameInfo::none || (file >= manifest_.count && found.kind != NameInfo::regular))
            states_[static_cast<std::size_t>(file)] = State::missing;
        else if (found.kind == NameInfo::regular && found.size != manifest_.file_bytes(file))
            states_[static_cast<std::size_t>(file)] = State::wrong_size;
    }
}

// Pieces lost whole are lost in every row: too many are refused at once.
void CheckedCopy::refuse_what_no_row_can_rebuild()
{
    std::vector<std::int64_t> pieces, spares;
    for (std::int64_t file = 0; file < manifest_.files(); ++file)
        if (state(file) != State::whole)
            (file < manifest_.count ? pieces : spares).push_back(file);
    if (!pieces.empty() && pieces.size() + spares.size() > static_cast<std::size_t>(manifest_.recovery))
        fail_row(pieces, spares);
}

// Names the pieces and the recovery pieces bad in one row, and what it
// would have taken to rebuild them.
[[noreturn]] void CheckedCopy::fail_row(const std::vector<std::int64_t>& pieces, const std::vector<std::int64_t>& spares)
{
    std::vector<std::string> names, spare_names;
    std::size_t missing = 0;
    for (const std::int64_t piece : pieces)
        names.push_back(piece_file_name(piece)), missing += state(piece) == State::missing;
    for (const std::int64_t spare : spares)
        spare_names.push_back(manifest_.file_name(spare));
    const bool one = names.size() == 1;
    const std::string what = listed(names) + (one ? " is " : " are ")
                             + (missing == names.size() ? "missing" : missing > 0 ? "missing or damaged" : "damaged");
    if (manifest_.recovery == 1 && one)
        fail("Error : " + what + ", and " + recovery_name
             + (state(manifest_.count) != State::whole ? " cannot rebuild it\n" : ", which would rebuild it, is damaged too\n"));
    if (manifest_.recovery == 1)
        fail("Error : " + what + ", and one recovery piece rebuilds only one\n");
    const std::size_t left = static_cast<std::size_t>(manifest_.recovery) - spares.size();
    fail("Error : " + what + ", and "
         + (spares.empty() ? "" : listed(spare_names) + (spares.size() == 1 ? " is" : " are") + " missing or damaged there too, so ")
         + (left == 0 ? "no recovery piece is left to rebuild them"
                      : std::to_string(left) + (left == 1 ? " recovery piece rebuilds" : " recovery pieces rebuild") + " only "
                            + std::to_string(left))
         + "; it would take " + std::to_string(names.size() + spares.size()) + "\n");
}

// What was rebuilt is not the piece: another piece is damaged (the pieces
// after it are not checked yet), or a recovery piece is, or the recovery
// pieces were made from other pieces than the manifest lists.
[[noreturn]] void CheckedCopy::fail_rebuilding(std::int64_t number)
{
    std::vector<std::int64_t> pieces{number}, spares;
    for (std::int64_t file = 0; file < manifest_.files(); ++file)
        if (file != number
            && !holds(manifest_.file_name(file), manifest_.file_bytes(file), 0, manifest_.file_bytes(file),
                      manifest_.file_digest(file)))
            (file < manifest_.count ? pieces : spares).push_back(file);
    if (pieces.size() + spares.size() > 1)
        fail_row(pieces, spares);
    fail("Error : " + piece_file_name(number) + (state(number) == State::missing ? " is missing" : " is damaged")
         + ", and " + recovery_name + " cannot rebuild it: it was made from pieces other than those " + manifest_name
         + " lists\n");
}

// Whether block `block` of a file is what the manifest says, read once.
bool CheckedCopy::block_whole(std::int64_t file, std::int64_t block)
{
    if (state(file) != State::whole || bad_.count({file, block}) > 0)
        return false;
    if (file < manifest_.count && copied_whole_[static_cast<std::size_t>(file)])
        return true;
    const auto key = std::make_pair(file, block);
    if (const auto known = checked_.find(key); known != checked_.end())
        return known->second;
    const std::int64_t at = block * manifest_.block_size();
    const std::int64_t size = std::min(manifest_.block_size(), manifest_.file_bytes(file) - at);
    const std::string name = manifest_.file_name(file);
    // A piece that is there but cannot be read is named, not rebuilt.
    if (File piece; file < manifest_.count && !open_for_reading(piece, name))
        fail_opening(name);
    return checked_[key] = holds(name, manifest_.file_bytes(file), at, size, manifest_.block_digest(file, block));
}

// Whether a block is known bad without reading it: its file lost, or the
// block found bad before.
bool CheckedCopy::known_bad(std::int64_t file, std::int64_t block) const
{
    return state(file) != State::whole || bad_.count({file, block}) > 0;
}

// The block's bytes from the whole blocks of its row: every other piece's,
// and as many recovery pieces' as there are bad pieces there. First taken
// on trust, where a failed try can be taken back: the rebuilt block's own
// checksum tells whether a block it used was bad, and only then is each
// block of the row read and checked.
void CheckedCopy::rebuild_block(std::int64_t number, std::int64_t block, Repair& repair)
{
    const std::int64_t start = !output_ ? 0 : can_rewind(*output_) ? position_of(*output_) : -1;
    if (start >= 0) {
        if (rebuild_row(number, block, repair, false))
            return;
        if (output_ && !move_to(*output_, start))
            fail_writing(output_->name);
    }
    if (!rebuild_row(number, block, repair, true))
        fail_rebuilding(number);
}

// One try at a row, its blocks `checked` first or taken on trust; false,
// with nothing of it counted, where the rebuilt block is not the block.
bool CheckedCopy::rebuild_row(std::int64_t number, std::int64_t block, Repair& repair, bool checked)
{
    const std::int64_t at = block * manifest_.block_size();
    const auto bad = [&](std::int64_t file) { return checked ? !block_whole(file, block) : known_bad(file, block); };
    std::vector<std::int64_t> lost{number}, spares;
    for (std::int64_t piece = 0; piece < manifest_.count; ++piece)
        if (piece != number && at < manifest_.piece_bytes(piece) && bad(piece))
            lost.push_back(piece);
    std::vector<int> rows;
    for (int index = 0; index < manifest_.recovery && rows.size() < lost.size(); ++index)
        if (!bad(manifest_.count + index))
            rows.push_back(index);
        else
            spares.push_back(manifest_.count + index);
    if (rows.size() < lost.size() && checked)
        fail_row(lost, spares);
    if (rows.size() < lost.size())
        return false;
    // Later pieces bad in this row come out of the same reads, written in
    // their place ahead, where the output can take them so.
    const auto later = std::stable_partition(lost.begin() + 1, lost.end(), [&](std::int64_t p) { return p > number; });
    const std::size_t wanted = output_ && can_rewind(*output_) ? static_cast<std::size_t>(later - lost.begin()) : 1;
    // An output that cannot take bytes back is sent the block once it is
    // checked: a file may have changed since the dry run. A block is at
    // most 1 MiB where the manifest lists blocks.
    const bool held_back = output_ && !can_rewind(*output_) && !manifest_.blocks.empty();
    std::vector<char> held;
    sums_.block_start();
    const auto take = [&](std::size_t index, std::int64_t offset, const unsigned char* bytes, std::int64_t count) {
        const char* text = reinterpret_cast<const char*>(bytes);
        if (index > 0 && !write_at(*output_, text, count, origin_ + lost[index] * manifest_.piece_size + offset))
            fail_writing(output_->name);
        if (index > 0)
            return;
        if (held_back)
            held.insert(held.end(), text, text + count);
        else if (output_ && !write_all(*output_, text, count))
            fail_writing(output_->name);
        sums_.took(text, count);
    };
    const std::int64_t size = std::min(manifest_.block_size(), manifest_.piece_bytes(number) - at);
    rebuild_bytes(manifest_, lost, rows, wanted, at, size, take);
    if (sums_.block_done() != manifest_.block_digest(number, block)) {
        sums_.block_again();
        return false;
    }
    if (held_back && !write_all(*output_, held.data(), static_cast<std::int64_t>(held.size())))
        fail_writing(output_->name);
    for (std::size_t index = 1; index < wanted; ++index)
        ahead_[{lost[index], block}] = rows;
    if (output_)
        report().moved(size);
    note_rows(repair, rows);
    return true;
}

// A block already in its place in the output (copied, or rebuilt ahead),
// read back from there and checked; false, with nothing of it counted and
// the output back at its start, where it differs.
bool CheckedCopy::read_back(std::int64_t number, std::int64_t block)
{
    const std::int64_t at = block * manifest_.block_size(), start = position_of(*output_);
    const std::int64_t size = std::min(manifest_.block_size(), manifest_.piece_bytes(number) - at);
    std::vector<char> bytes(static_cast<std::size_t>(std::min<std::int64_t>(size, 1 << 18)));
    sums_.block_start();
    std::int64_t done = 0;
    for (std::int64_t got; done < size; done += got) {
        got = read_at(*output_, bytes.data(), std::min<std::int64_t>(size - done, 1 << 18), start + done);
        if (got < 0)
            fail_reading(output_->name);
        // The output ends short of it: its piece was cut while it was copied.
        if (got == 0)
            break;
        sums_.took(bytes.data(), got);
    }
    if (sums_.block_done() == manifest_.block_digest(number, block) && done == size) {
        if (start < 0 || !move_to(*output_, start + size))
            fail_writing(output_->name);
        report().moved(size);
        return true;
    }
    sums_.block_again();
    return false;
}

// A block of a whole piece, copied and checked; false, with nothing of it
// counted, where it differs: it is then to be rebuilt in its place.
bool CheckedCopy::copy_block(File& piece, std::int64_t number, std::int64_t block)
{
    const std::int64_t at = block * manifest_.block_size();
    const std::int64_t size = std::min(manifest_.block_size(), manifest_.piece_bytes(number) - at);
    const std::int64_t start = output_ ? position_of(*output_) : 0;
    if (!move_to(piece, at))
        fail_reading(piece.name);
    sums_.block_start();
    const std::int64_t copied =
        output_ ? DataCopy(piece, &sums_, ways_).into(*output_, size) : read_into(piece, sums_, size);
    if (sums_.block_done() == manifest_.block_digest(number, block) && copied == size)
        return true;
    sums_.block_again();
    // An output that cannot go back had a dry run, which found this block whole.
    if (output_ && (!can_rewind(*output_) || start < 0 || !move_to(*output_, start)))
        fail_changed_or_damaged(piece, !can_rewind(*output_));
    bad_.insert({number, block});
    return false;
}

// A piece block by block, each bad one rebuilt from its row. Where the
// piece was copied `in_output` already, its blocks are checked there.
void CheckedCopy::restream(std::int64_t number, bool in_output)
{
    const std::string name = piece_file_name(number);
    restreamed_.insert(number);
    if (recovery_check_)
        recovery_check_->give_up();
    File piece;
    const bool readable = state(number) == State::whole && open_for_reading(piece, name);
    if (output_)
        report().piece(name, number, manifest_.count, manifest_.piece_bytes(number));
    Repair repair{name, state(number) == State::missing, 0, manifest_.blocks_of(number), {}};
    for (std::int64_t block = 0; block < repair.of; ++block) {
        if (const auto ahead = ahead_.find({number, block}); ahead != ahead_.end()) {
            if (!read_back(number, block))
                fail_rebuilding(number);
            note_rows(repair, ahead->second);
        } else if (!(in_output && read_back(number, block))
                   && (!readable || bad_.count({number, block}) > 0 || in_output || !copy_block(piece, number, block))) {
            rebuild_block(number, block, repair);
        }
    }
    if (sums_.piece_done() != manifest_.pieces[static_cast<std::size_t>(number)])
        fail_rebuilding(number);
    notes_.repairs.push_back(repair);
}

void CheckedCopy::copy_piece(std::int64_t number)
{
    const std::string name = piece_file_name(number);
    // A piece with blocks rebuilt ahead must not be copied over them.
    const auto ahead = ahead_.lower_bound({number, 0});
    if (state(number) != State::whole || known_.pieces.count(number) > 0
        || (ahead != ahead_.end() && ahead->first.first == number))
        return restream(number);
    File piece;
    if (!open_for_reading(piece, name)) {
        if (about(name).kind != NameInfo::none)
            fail_opening(name);
        if (!manifest_.recovery)
            fail("Error : " + name + " is missing\n");
        states_[static_cast<std::size_t>(number)] = State::missing;
        refuse_what_no_row_can_rebuild();
        return restream(number);
    }
    const std::int64_t bytes = manifest_.piece_bytes(number);
    if (piece.size != bytes && !manifest_.recovery)
        fail_damaged(name);
    // Its size changed since the run was looked at: damaged, as a piece
    // found so then is, and never copied past the manifest's size.
    if (piece.size != bytes) {
        states_[static_cast<std::size_t>(number)] = State::wrong_size;
        refuse_what_no_row_can_rebuild();
        return restream(number);
    }
    // Asked only where a damaged piece can be taken again: many small
    // pieces cost one call each less.
    const std::int64_t start = output_ && manifest_.recovery ? position_of(*output_) : 0;
    if (output_)
        report().piece(name, number, manifest_.count, bytes);
    const std::int64_t copied =
        output_ ? DataCopy(piece, &sums_, ways_).into(*output_, bytes) : read_into(piece, sums_, bytes);
    if (sums_.piece_done() == manifest_.pieces[static_cast<std::size_t>(number)] && copied == bytes) {
        copied_whole_[static_cast<std::size_t>(number)] = true;
        return;
    }
    // Its place in the output is taken again, where the output can go back:
    // one that cannot had a dry run first, which found the piece whole, so
    // it changed since.
    if (output_ && (!can_rewind(*output_) || start < 0 || !move_to(*output_, start)))
        fail_changed_or_damaged(piece, !manifest_.recovery || !can_rewind(*output_));
    if (!manifest_.recovery)
        fail_changed_or_damaged(piece, false);
    sums_.piece_again();
    restream(number, output_ != nullptr);
}

// Every piece was whole: the recovery pieces are looked at only to say
// whether they could have served.
void CheckedCopy::check_recovery_pieces()
{
    for (int index = 0; index < manifest_.recovery; ++index) {
        const std::int64_t file = manifest_.count + index;
        const std::string name = manifest_.file_name(file);
        if (state(file) == State::missing)
            notes_.unusable.push_back(
                {name, about(name, true).kind == NameInfo::none ? Report::Unusable::missing : Report::Unusable::not_a_file});
        else if (state(file) != State::whole || !recovery_check_ || !recovery_check_->whole(index))
            notes_.unusable.push_back({name, Report::Unusable::damaged});
    }
}

// The output holds the run and nothing past it, whatever a piece did
// while it was read.
void CheckedCopy::end_output()
{
    const std::int64_t end = origin_ + manifest_.size, at = position_of(*output_);
    if (at != end)
        fail("Error Writing the file : " + output_->name + " (it holds " + std::to_string(at - origin_) + " of its "
             + std::to_string(manifest_.size) + " bytes)\n");
    if (size_now(*output_) > end && !set_size(*output_, end))
        fail_writing(output_->name);
}

CheckedCopyNotes CheckedCopy::run()
{
    origin_ = output_ ? position_of(*output_) : 0;
    if (manifest_.recovery) {
        find_lost_files();
        refuse_what_no_row_can_rebuild();
        bool pieces_whole = known_.pieces.empty();
        for (std::int64_t piece = 0; piece < manifest_.count; ++piece)
            pieces_whole = pieces_whole && state(piece) == State::whole;
        std::vector<bool> to_read;
        for (int index = 0; index < manifest_.recovery; ++index)
            to_read.push_back(state(manifest_.count + index) == State::whole);
        if (pieces_whole)
            recovery_check_.emplace(manifest_, std::move(to_read));
    }
    for (std::int64_t number = 0; number < manifest_.count; ++number)
        copy_piece(number);
    if (sums_.whole() != manifest_.whole)
        fail("Error : the joined pieces differ from the file that was split, by " + manifest_name + "\n");
    if (output_ && can_rewind(*output_))
        end_output();
    if (manifest_.recovery && notes_.repairs.empty())
        check_recovery_pieces();
    return notes_;
}

} // namespace

CheckedCopyNotes copy_checked(File& output, const Manifest& manifest, CopyWays ways)
{
    // An output that cannot take back what it was sent is sent only what a
    // dry run vouched for, rebuilt where need be.
    Damage damage;
    if (!can_rewind(output)) {
        CheckedCopy dry(nullptr, manifest, ways, {});
        dry.run();
        damage = dry.damage();
    }
    return CheckedCopy(&output, manifest, ways, damage).run();
}
