#include "pieces/recovery.h"

#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/report.h"

#include <algorithm>
#include <memory>

const std::string recovery_name = "FILES.REV";

namespace {

constexpr std::int64_t block_size = 1 << 20;

// A plain loop, which the compiler turns into vector instructions.
void xor_into(unsigned char* into, const unsigned char* from, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        into[i] ^= from[i];
}

// Many files are opened once a block, not all at once: a run may have more
// pieces than a process may hold open.
constexpr std::size_t most_held_open = 256;

} // namespace

void write_xor(const std::vector<std::string>& names, const std::vector<std::int64_t>& sizes, File& out,
               std::int64_t length, Checksums& sums)
{
    const std::unique_ptr<unsigned char[]> sum(new unsigned char[block_size]), read(new unsigned char[block_size]);
    std::vector<File> held(names.size() <= most_held_open ? names.size() : 0);
    for (std::int64_t at = 0; at < length; at += block_size) {
        stop_if_interrupted();
        const std::int64_t count = std::min(block_size, length - at);
        std::fill(sum.get(), sum.get() + count, 0);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::int64_t wanted = std::min(count, sizes[i] - at);
            if (wanted <= 0)
                continue;
            File once;
            File& file = held.empty() ? once : held[i];
            if (file.handle == File::no_handle && !open_for_reading(file, names[i]))
                fail_opening(names[i]);
            const std::int64_t got = read_at(file, reinterpret_cast<char*>(read.get()), wanted, at);
            if (got < 0)
                fail_reading(names[i]);
            if (got < wanted)
                fail_reading(names[i], "it changed while it was read");
            xor_into(sum.get(), read.get(), static_cast<std::size_t>(wanted));
        }
        if (!write_all(out, reinterpret_cast<const char*>(sum.get()), count))
            fail_writing(out.name);
        sums.took(reinterpret_cast<const char*>(sum.get()), count);
        report().moved(count);
    }
}
