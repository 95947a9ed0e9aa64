#include "pieces/checked_copy_parts.h"

#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/report.h"

#include <algorithm>

namespace checked {


void note_rows(Repair& repair, const std::vector<int>& rows)
{
    ++repair.blocks;
    for (const int row : rows)
        if (std::count(repair.from.begin(), repair.from.end(), recovery_file_name(row)) == 0)
            repair.from.push_back(recovery_file_name(row));
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
    const std::int64_t copied = DataCopy(piece, &sums_, ways_).into(output_, size);
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

} // namespace checked
