// How fast one recovery row's multiply-add runs at each level this
// processor has, in each field: 1 GiB over a 128 KiB stretch, which stays
// in the cache, as the split's and the join's stretches do.
#include "pieces/erasure.h"

#include <chrono>
#include <cstdio>
#include <vector>

int main()
{
    std::vector<std::uint8_t> from(1 << 17), into(1 << 17, 0);
    for (std::size_t i = 0; i < from.size(); ++i)
        from[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    const char* names[] = {"plain", "SSSE3", "AVX2"};
    for (const Level level : levels_here()) {
        use_level(level);
        for (const Field field : {Field::narrow, Field::wide}) {
            const auto start = std::chrono::steady_clock::now();
            constexpr int rounds = 8192;
            for (int round = 0; round < rounds; ++round)
                multiply_add(field, static_cast<Factor>(0x3b + round % 200), from.data(), into.data(), from.size());
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            std::printf("%-5s %-8s %6.2f GB/s\n", names[static_cast<int>(level)], field == Field::narrow ? "GF(2^8)" : "GF(2^16)",
                        double(rounds) * double(from.size()) / took.count() / 1e9);
        }
    }
}
