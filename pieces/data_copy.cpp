#include "pieces/data_copy.h"

#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/report.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr std::int64_t block_size = 1 << 20;

// A copy goes in chunks, each sent on to the disk as the next is copied.
// Small copies are left to the flush at the end, all at once. Where the
// checksums read each chunk back behind the copy, smaller ones keep them
// close behind: a piece's end waits only for its last.
constexpr std::int64_t chunk = 32 << 20, summed_chunk = 8 << 20, worth_sending = block_size;

void move(File& file, std::int64_t offset, bool written)
{
    if (!move_to(file, offset))
        written ? fail_writing(file.name) : fail_reading(file.name);
}

} // namespace

// A source cut into many small pieces is read a block at a time, not once
// a piece: the bytes each piece wants next, from the block, or nothing at
// the end of `from`.
std::int64_t DataCopy::next_ahead(std::int64_t wanted, const char*& bytes)
{
    if (ahead_used_ == ahead_.size()) {
        ahead_.resize(block_size);
        const std::int64_t got = read_some(from_, ahead_.data(), block_size);
        ahead_.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        ahead_used_ = 0;
        if (got <= 0)
            return got;
    }
    bytes = ahead_.data() + ahead_used_;
    const auto taken = static_cast<std::size_t>(std::min<std::int64_t>(wanted, ahead_.size() - ahead_used_));
    ahead_used_ += taken;
    return static_cast<std::int64_t>(taken);
}

// Moves `from` back to where its reader stands, before anything else reads
// it or asks where it is.
void DataCopy::give_back()
{
    const auto unread = static_cast<std::int64_t>(ahead_.size() - ahead_used_);
    ahead_.clear(), ahead_used_ = 0;
    if (unread > 0 && !move_to(from_, position_of(from_) - unread))
        fail_reading(from_.name);
}

// Through the program, a block at a time: slower than the system's own
// copy, but it works between any two files and knows which one failed.
std::int64_t DataCopy::copy_blocks(File& to, std::int64_t limit, bool ahead)
{
    // Not filled in advance: a split into small pieces never touches it.
    static const std::unique_ptr<char[]> block(new char[block_size]);
    std::int64_t copied = 0;
    while (copied < limit) {
        stop_if_interrupted();
        const char* bytes = block.get();
        const std::int64_t wanted = std::min(limit - copied, block_size);
        const std::int64_t got = ahead ? next_ahead(wanted, bytes) : read_some(from_, block.get(), wanted);
        if (got < 0)
            fail_reading(from_.name);
        if (got == 0)
            break;
        if (!write_all(to, bytes, got))
            fail_writing(to.name);
        if (sums_)
            sums_->took(bytes, got);
        copied += got;
        report().moved(got);
    }
    return copied;
}

// Worth it where a block holds many copies to come; bytes already read
// ahead are taken first whatever the rest. Not where holes are skipped:
// that moves `from` itself.
bool DataCopy::reads_ahead(std::int64_t limit) const
{
    return ahead_used_ < ahead_.size() || (!from_.has_holes && is_regular(from_) && from_.size - limit >= block_size);
}

std::int64_t DataCopy::copy_every_byte(File& to, std::int64_t limit)
{
    // A small copy costs fewer calls through the program, where its
    // checksum is taken as it passes, than in the system and read back.
    if (limit < worth_sending)
        return copy_blocks(to, limit, reads_ahead(limit));
    give_back();
    // Asked only where a chunk may be sent: many small pieces cost no more.
    const std::int64_t to_start = is_regular(to) ? position_of(to) : -1;
    std::int64_t copied = 0;
    while (copied < limit) {
        stop_if_interrupted();
        const std::int64_t wanted = std::min(limit - copied, sums_ ? summed_chunk : chunk);
        // Only into a file on a disk, where the checksums can read back.
        std::int64_t got = to_start >= 0 ? copy_in_system(from_, to, wanted, system_copy_refused_) : 0;
        // The checksums read back what the system wrote, from where it
        // landed: what the copy vouches for is what `to` holds, whoever
        // changes `from` meanwhile.
        if (sums_ && got > 0)
            sums_->moved(to, to_start + copied, got);
        report().moved(got);
        // Where the system's copy stops short, the block copy carries on
        // from there and finds out why: the end of `from`, or which failed.
        got += copy_blocks(to, wanted - got);
        if (to_start >= 0 && got >= worth_sending)
            write_back(to, to_start + copied, to_start + copied + got);
        copied += got;
        if (got < wanted)
            break;
    }
    return copied;
}

// Only the data of a file with holes, each hole left a hole in `to`: a disk
// image of a gigabyte that holds a few blocks takes a few blocks, at once.
// Each stretch is read as it stands when its turn comes, as a plain copy
// would read it.
std::int64_t DataCopy::copy_data_only(File& to, std::int64_t limit)
{
    give_back();
    const std::int64_t from_start = position_of(from_), to_start = position_of(to);
    if (from_start < 0 || to_start < 0)
        return copy_every_byte(to, limit);
    const std::int64_t from_end = from_start + limit;
    std::int64_t at = from_start;
    bool ends_in_hole = false;
    while (at < from_end) {
        const Stretch data = next_data(from_, at);
        if (data.start < 0) {
            move(from_, at, false);
            move(to, to_start + (at - from_start), true);
            at += copy_every_byte(to, from_end - at);
            ends_in_hole = false;
            break;
        }
        // The hole before the data, or before the end of the file.
        const std::int64_t hole_end = std::min(std::max(data.start, at), from_end);
        ends_in_hole = hole_end > at;
        if (sums_)
            sums_->zeros(hole_end - at);
        report().moved(hole_end - at);
        at = hole_end;
        if (data.start == data.end || at == from_end)
            break;
        const std::int64_t wanted = std::min(data.end, from_end) - at;
        move(from_, at, false);
        move(to, to_start + (at - from_start), true);
        const std::int64_t got = copy_every_byte(to, wanted);
        at += got;
        ends_in_hole = false;
        if (got < wanted)
            break;
    }
    // Both left just past what was copied, as a plain copy leaves them.
    move(from_, at, false);
    move(to, to_start + (at - from_start), true);
    if (ends_in_hole && !set_size(to, to_start + (at - from_start)))
        fail_writing(to.name);
    return at - from_start;
}

std::int64_t DataCopy::into(File& to, std::int64_t limit)
{
    return from_.has_holes && holes_kept_ && is_regular(to) ? copy_data_only(to, limit) : copy_every_byte(to, limit);
}
