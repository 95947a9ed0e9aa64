#include "pieces/data_copy.h"

#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/progress.h"

#include <algorithm>
#include <vector>

namespace {

struct Ends {
    File& from;
    const std::string& from_name;
    File& to;
    const std::string& to_name;
    Checksums* sums;
};

// Through the program, a block at a time: slower than the system's own
// copy, but it works between any two files and knows which one failed.
std::int64_t copy_blocks(const Ends& ends, std::int64_t limit)
{
    static std::vector<char> block(1 << 20);
    std::int64_t copied = 0;
    while (copied < limit) {
        stop_if_interrupted();
        const std::int64_t got =
            read_some(ends.from, block.data(), std::min<std::int64_t>(limit - copied, block.size()));
        if (got < 0)
            fail_reading(ends.from_name);
        if (got == 0)
            break;
        if (!write_all(ends.to, block.data(), got))
            fail_writing(ends.to_name);
        if (ends.sums)
            ends.sums->took(block.data(), got);
        copied += got;
        progress().moved(got);
    }
    return copied;
}

// A copy goes in chunks, each sent on to the disk as the next is copied.
// Small copies are left to the flush at the end, all at once. Where the
// checksums read each chunk back behind the copy, smaller ones keep them
// close behind: a piece's end waits only for its last.
constexpr std::int64_t chunk = 32 << 20, summed_chunk = 8 << 20, worth_sending = 1 << 20;

std::int64_t copy_every_byte(const Ends& ends, std::int64_t limit)
{
    // A small copy costs fewer calls through the program, where its
    // checksum is taken as it passes, than in the system and read back.
    if (limit < worth_sending)
        return copy_blocks(ends, limit);
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
