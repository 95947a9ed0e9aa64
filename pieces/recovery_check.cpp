#include "pieces/recovery_check.h"

#include "pieces/interruption.h"

#include <algorithm>

namespace {

// Reads at most `limit` bytes of an open file from where it stands into
// `sums`; how many it held, or -1 where a read failed or `given_up` was
// set. Only the main thread, which has no `given_up`, stops for an
// interruption.
std::int64_t read_into(File& file, Checksums& sums, std::int64_t limit, const std::atomic<bool>* given_up)
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

} // namespace

// Whether bytes [at, at + size) of a file are what the manifest says, the
// file being `length` long; false as soon as `given_up` is set.
bool holds(const std::string& name, std::int64_t length, std::int64_t at, std::int64_t size, const Digest& digest,
           const std::atomic<bool>* given_up)
{
    File file;
    if (!open_for_reading(file, name) || file.size != length || !move_to(file, at))
        return false;
    Checksums sums(Checksums::one_file);
    return read_into(file, sums, size, given_up) == size && sums.piece_done() == digest;
}
