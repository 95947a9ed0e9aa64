#include "pieces/data_copy.h"

#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/progress.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct Ends {
    File& from;
    const std::string& from_name;
    File& to;
    const std::string& to_name;
    Checksums* sums;
};

constexpr std::int64_t block_size = 1 << 20;

// A source cut into many small pieces is read a block at a time, not once
// a piece: the bytes each piece wants next, from the block, or nothing at
// the end of `from`.
std::int64_t next_ahead(const Ends& ends, std::int64_t wanted, const char*& bytes)
{
    File& from = ends.from;
    if (from.ahead_used == from.ahead.size()) {
        from.ahead.resize(block_size);
        const std::int64_t got = read_some(from, from.ahead.data(), block_size);
        from.ahead.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        from.ahead_used = 0;
        if (got <= 0)
            return got;
    }
    bytes = from.ahead.data() + from.ahead_used;
    const auto taken = static_cast<std::size_t>(std::min<std::int64_t>(wanted, from.ahead.size() - from.ahead_used));
    from.ahead_used += taken;
    return static_cast<std::int64_t>(taken);
}

// Moves `from` back to where its reader stands, before anything else reads
// it or asks where it is.
void give_back(const Ends& ends)
{
    File& from = ends.from;
    const auto unread = static_cast<std::int64_t>(from.ahead.size() - from.ahead_used);
    from.ahead.clear(), from.ahead_used = 0;
    if (unread > 0 && !move_to(from, position_of(from) - unread))
        fail_reading(ends.from_name);
}

// Through the program, a block at a time: slower than the system's own
// copy, but it works between any two files and knows which one failed.
std::int64_t copy_blocks(const Ends& ends, std::int64_t limit, bool ahead = false)
{
    // Not filled in advance: a split into small pieces never touches it.
    static const std::unique_ptr<char[]> block(new char[block_size]);
    std::int64_t copied = 0;
    while (copied < limit) {
        stop_if_interrupted();
        const char* bytes = block.get();
        const std::int64_t wanted = std::min(limit - copied, block_size);
        const std::int64_t got = ahead ? next_ahead(ends, wanted, bytes) : read_some(ends.from, block.get(), wanted);
        if (got < 0)
            fail_reading(ends.from_name);
        if (got == 0)
            break;
        if (!write_all(ends.to, bytes, got))
            fail_writing(ends.to_name);
        if (ends.sums)
            ends.sums->took(bytes, got);
        copied += got;
        progress().moved(got);
    }
    return copied;
}

// Worth it where a block holds many copies to come; bytes already read
// ahead are taken first whatever the rest. Not where holes are skipped:
// that moves `from` itself.
bool reads_ahead(const Ends& ends, std::int64_t limit)
{
    const File& from = ends.from;
    return from.ahead_used < from.ahead.size()
           || (!from.has_holes && is_regular(ends.from) && from.size - limit >= block_size);
}

// A copy goes in chunks, each sent on to the disk as the next is copied.
// Small copies are left to the flush at the end, all at once. Where the
// checksums read each chunk back behind the copy, smaller ones keep them
// close behind: a piece's end waits only for its last.
constexpr std::int64_t chunk = 32 << 20, summed_chunk = 8 << 20, worth_sending = block_size;

std::int64_t copy_every_byte(const Ends& ends, std::int64_t limit)
{
    // A small copy costs fewer calls through the program, where its
    // checksum is taken as it passes, than in the system and read back.
    if (limit < worth_sending)
        return copy_blocks(ends, limit, reads_ahead(ends, limit));
    give_back(ends);
    // Asked only where a chunk may be sent: many small pieces cost no more.
    const std::int64_t to_start = limit >= worth_sending && is_regular(ends.to) ? position_of(ends.to) : -1;
    // The checksums read back what the system moved, from where it was.
    const std::int64_t from_start = ends.sums ? position_of(ends.from) : 0;
    std::int64_t copied = 0;
    while (copied < limit) {
        stop_if_interrupted();
        const std::int64_t wanted = std::min(limit - copied, ends.sums ? summed_chunk : chunk);
        std::int64_t got = copy_in_system(ends.from, ends.to, wanted);
        if (ends.sums && got > 0)
            ends.sums->moved(ends.from, from_start + copied, got);
        progress().moved(got);
        // Where the system's copy stops short, the block copy carries on
        // from there and finds out why: the end of `from`, or which failed.
        got += copy_blocks(ends, wanted - got);
        if (to_start >= 0 && got >= worth_sending)
            write_back(ends.to, to_start + copied, to_start + copied + got);
        copied += got;
        if (got < wanted)
            break;
    }
    return copied;
}

void move(File& file, std::int64_t offset, const std::string& name, bool written)
{
    if (!move_to(file, offset))
        written ? fail_writing(name) : fail_reading(name);
}

// Only the data of a file with holes, each hole left a hole in `to`: a disk
// image of a gigabyte that holds a few blocks takes a few blocks, at once.
// Each stretch is read as it stands when its turn comes, as a plain copy
// would read it.
std::int64_t copy_data_only(const Ends& ends, std::int64_t limit)
{
    give_back(ends);
    const std::int64_t from_start = position_of(ends.from), to_start = position_of(ends.to);
    if (from_start < 0 || to_start < 0)
        return copy_every_byte(ends, limit);
    const std::int64_t from_end = from_start + limit;
    std::int64_t at = from_start;
    bool ends_in_hole = false;
    while (at < from_end) {
        const Stretch data = next_data(ends.from, at);
        if (data.start < 0) {
            move(ends.from, at, ends.from_name, false);
            move(ends.to, to_start + (at - from_start), ends.to_name, true);
            at += copy_every_byte(ends, from_end - at);
            ends_in_hole = false;
            break;
        }
        // The hole before the data, or before the end of the file.
        const std::int64_t hole_end = std::min(std::max(data.start, at), from_end);
        ends_in_hole = hole_end > at;
        if (ends.sums)
            ends.sums->zeros(hole_end - at);
        progress().moved(hole_end - at);
        at = hole_end;
        if (data.start == data.end || at == from_end)
            break;
        const std::int64_t wanted = std::min(data.end, from_end) - at;
        move(ends.from, at, ends.from_name, false);
        move(ends.to, to_start + (at - from_start), ends.to_name, true);
        const std::int64_t got = copy_every_byte(ends, wanted);
        at += got;
        ends_in_hole = false;
        if (got < wanted)
            break;
    }
    // Both left just past what was copied, as a plain copy leaves them.
    move(ends.from, at, ends.from_name, false);
    move(ends.to, to_start + (at - from_start), ends.to_name, true);
    if (ends_in_hole && !set_size(ends.to, to_start + (at - from_start)))
        fail_writing(ends.to_name);
    return at - from_start;
}

} // namespace

std::int64_t copy_data(File& from, const std::string& from_name, File& to, const std::string& to_name,
                       std::int64_t limit, Checksums* sums)
{
    const Ends ends{from, from_name, to, to_name, sums};
    return from.has_holes && is_regular(to) ? copy_data_only(ends, limit) : copy_every_byte(ends, limit);
}
