#include "pieces/data_copy.h"

#include "pieces/failure.h"

#include <algorithm>
#include <vector>

namespace {

// Through the program, a block at a time: slower than the system's own
// copy, but it works between any two files and knows which one failed.
std::int64_t copy_blocks(File& from, const std::string& from_name, File& to, const std::string& to_name,
                         std::int64_t limit)
{
    static std::vector<char> block(1 << 20);
    std::int64_t copied = 0;
    while (copied < limit) {
        const std::int64_t got = read_some(from, block.data(), std::min<std::int64_t>(limit - copied, block.size()));
        if (got < 0)
            fail_reading(from_name);
        if (got == 0)
            break;
        // A file takes all it is given unless its disk is full.
        if (write_some(to, block.data(), got) != got)
            fail_writing(to_name);
        copied += got;
    }
    return copied;
}

} // namespace

std::int64_t copy_data(File& from, const std::string& from_name, File& to, const std::string& to_name,
                       std::int64_t limit)
{
    // Where the system's copy stops short, the block copy carries on and
    // finds out why: the end of `from`, or which of the two failed.
    const std::int64_t copied = copy_in_system(from, to, limit);
    return copied + copy_blocks(from, from_name, to, to_name, limit - copied);
}
