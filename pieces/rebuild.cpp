#include "pieces/checked_copy_parts.h"

#include "pieces/failure.h"
#include "pieces/piece_files.h"
#include "pieces/recovery.h"
#include "pieces/report.h"

#include <algorithm>

namespace checked {

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
    // most 1 MiB where the manifest lists blocks, but in a run of thousands
    // of large pieces.
    const bool held_back = output_ && !can_rewind(*output_) && !manifest_.blocks.empty() && manifest_.block_size() <= (16 << 20);
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

} // namespace checked
