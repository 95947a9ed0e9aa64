#include "pieces/data_copy.h"

#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/report.h"

#include <algorithm>
#include <memory>

namespace {

// A buffer stays in the processor's cache while it is checksummed and
// written; a source cut into many small pieces is read ahead a larger one.
constexpr std::int64_t buffer_size = 1 << 17, ahead_size = 1 << 20;

// A copy goes in chunks, each sent on to the disk as the next is copied,
// so that the status line shows what the disk has taken. Small copies are
// left to the flush at the end, all at once.
constexpr std::int64_t chunk = 8 << 20, worth_sending = 1 << 20;

void move(File& file, std::int64_t offset, bool written)
{
    if (!move_to(file, offset))
        written ? fail_writing(file.name) : fail_reading(file.name);
}

char* buffer()
{
    // Not filled in advance: a split into small pieces never touches it.
    static const std::unique_ptr<char[]> bytes(new char[buffer_size]);
    return bytes.get();
}

} // namespace

// A source cut into many small pieces is read a stretch ahead at a time, not once
// a piece: the bytes each piece wants next, from that stretch, or nothing at
// the end of `from`.
std::int64_t DataCopy::next_ahead(std::int64_t wanted, const char*& bytes)
{
    if (ahead_used_ == ahead_.size()) {
        ahead_.resize(ahead_size);
        const std::int64_t got = read_some(from_, ahead_.data(), ahead_size);
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

// Through the program, a buffer at a time: read, checksummed and written
// from one buffer. It works between any two files and knows which failed.
std::int64_t DataCopy::copy_buffered(File& to, std::int64_t limit, bool ahead)
{
    std::int64_t copied = 0;
    while (copied < limit) {
        stop_if_interrupted();
        const char* bytes = buffer();
        const std::int64_t wanted = std::min(limit - copied, buffer_size);
        const std::int64_t got = ahead ? next_ahead(wanted, bytes) : read_some(from_, buffer(), wanted);
        if (got < 0)
            fail_reading(from_.name);
        if (got == 0)
            break;
        if (sums_)
            sums_->took(bytes, got);
        if (!write_all(to, bytes, got))
            fail_writing(to.name);
        copied += got;
        report().moved(got);
    }
    return copied;
}

// Shared by the file system, where it shares them, then read once in
// `from` to be checksummed: from the cache, where the source often is.
// Where it does not share, or stops short, the buffered copy carries on from
// there and finds out why.
std::int64_t DataCopy::share_then_read(File& to, std::int64_t limit)
{
    const std::int64_t from_start = position_of(from_);
    bool refused = false;
    const std::int64_t got = from_start >= 0 ? copy_in_system(from_, to, limit, refused) : 0;
    for (std::int64_t done = 0; done < got;) {
        stop_if_interrupted();
        const std::int64_t read = read_at(from_, buffer(), std::min(got - done, buffer_size), from_start + done);
        if (read <= 0)
            read < 0 ? fail_reading(from_.name) : fail_reading(from_.name, "it changed while it was read");
        if (sums_)
            sums_->took(buffer(), read);
        done += read;
        report().moved(read);
    }
    // Shared bytes are vouched for as they stand in `from`: changed since
    // it was opened, they may not be what `to` holds.
    if (got > 0 && changed_since_opened(from_))
        fail_reading(from_.name, "it changed while it was read");
    shared_ = !refused;
    return got + copy_buffered(to, limit - got);
}

// Worth it where a stretch read ahead holds many copies; bytes already read
// ahead are taken first whatever the rest. Not where holes are skipped:
// that moves `from` itself.
bool DataCopy::reads_ahead(std::int64_t limit) const
{
    return ahead_used_ < ahead_.size() || (!from_.has_holes && is_regular(from_) && from_.size - limit >= ahead_size);
}

// A large copy in chunks, each sent on to the disk as the next is copied;
// shared while the file system shares, through the buffer once it refuses.
std::int64_t DataCopy::copy_in_chunks(File& to, std::int64_t limit)
{
    give_back();
    const std::int64_t to_start = is_regular(to) ? position_of(to) : -1;
    std::int64_t copied = 0;
    while (copied < limit) {
        const std::int64_t wanted = std::min(limit - copied, chunk);
        const std::int64_t got = shared_ && to_start >= 0 ? share_then_read(to, wanted) : copy_buffered(to, wanted);
        if (to_start >= 0 && got >= worth_sending)
            write_back(to, to_start + copied + got);
        copied += got;
        if (got < wanted)
            break;
    }
    return copied;
}

// Read and checksummed only, a buffer at a time.
std::int64_t DataCopy::check_only(std::int64_t limit)
{
    give_back();
    std::int64_t total = 0;
    for (std::int64_t got; total < limit; total += got) {
        stop_if_interrupted();
        got = read_some(from_, buffer(), std::min(limit - total, buffer_size));
        if (got < 0)
            fail_reading(from_.name);
        if (got == 0)
            break;
        if (sums_)
            sums_->took(buffer(), got);
    }
    return total;
}

// Only the data of a file with holes, each hole left a hole in `to`: a disk
// image of a gigabyte that holds a few megabytes takes a few megabytes, at once.
// Each stretch is read as it stands when its turn comes, as a plain copy
// would read it.
std::int64_t DataCopy::copy_data_only(File& to, std::int64_t limit)
{
    give_back();
    const std::int64_t from_start = position_of(from_), to_start = position_of(to);
    if (from_start < 0 || to_start < 0)
        return copy_by(way(&to, limit, true), to, limit);
    const std::int64_t from_end = from_start + limit;
    std::int64_t at = from_start;
    bool ends_in_hole = false;
    while (at < from_end) {
        const Stretch data = next_data(from_, at);
        if (data.start < 0) {
            move(from_, at, false);
            move(to, to_start + (at - from_start), true);
            at += copy_by(way(&to, from_end - at, true), to, from_end - at);
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
        const std::int64_t got = copy_by(way(&to, wanted, true), to, wanted);
        at += got;
        ends_in_hole = false;
        if (got < wanted)
            break;
    }
    // Both left just past what was copied, as a plain copy leaves them.
    move(from_, at, false);
    move(to, to_start + (at - from_start), true);
    // A hole at the end is made by the size alone, never cut: bytes may
    // stand past it already (a join's blocks rebuilt ahead).
    const std::int64_t end = to_start + (at - from_start);
    if (ends_in_hole && size_now(to) < end && !set_size(to, end))
        fail_writing(to.name);
    return at - from_start;
}

Way disk_way(const File& from, CopyWays ways)
{
    return from.has_holes && ways.holes_kept ? Way::around_holes : ways.shared ? Way::shared_then_read : Way::buffered;
}

// The one place a copy's way is chosen: by the file it goes into, if any,
// and by its size. `within_data`: a stretch of data between holes.
Way DataCopy::way(File* to, std::int64_t limit, bool within_data)
{
    if (!to)
        return Way::checksum_only;
    // Asked of `to` only where it matters: many small pieces cost no call.
    Way on_disk = disk_way(from_, {holes_kept_ && !within_data, shared_});
    if (on_disk != Way::buffered && !is_regular(*to))
        on_disk = Way::buffered;
    if (on_disk == Way::around_holes)
        return on_disk;
    // Small copies are left to the flush at the end, all at once.
    if (limit < worth_sending)
        return reads_ahead(limit) ? Way::read_ahead : Way::buffered;
    return on_disk;
}

std::int64_t DataCopy::copy_by(Way way, File& to, std::int64_t limit)
{
    switch (way) {
    case Way::around_holes:
        return copy_data_only(to, limit);
    case Way::read_ahead:
        return copy_buffered(to, limit, true);
    case Way::buffered:
        return limit < worth_sending ? copy_buffered(to, limit) : copy_in_chunks(to, limit);
    case Way::shared_then_read:
        return copy_in_chunks(to, limit);
    case Way::checksum_only:
        break;
    }
    return 0;
}

std::int64_t DataCopy::into(File* to, std::int64_t limit)
{
    const Way chosen = way(to, limit);
    return chosen == Way::checksum_only ? check_only(limit) : copy_by(chosen, *to, limit);
}
