#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// GF(2^16) with the polynomial 0x1100b, the arithmetic of runs of more than
// 256 files, behind erasure.h: a symbol is two bytes, the low one first.
// The matrix is built as for GF(2^8), a Cauchy matrix whose row 0 is all
// ones, with columns y_c = 65535 - c.
namespace wide {

std::uint16_t multiply(std::uint16_t a, std::uint16_t b);
std::uint16_t coefficient(int row, int column);

// The products of a factor with each nibble of a symbol in its place, low
// bytes and high bytes apart: a symbol's product is the XOR of its four
// nibbles' (the split-table method, as for bytes). Built once a factor, for
// all the stretches it multiplies.
struct Nibbles {
    explicit Nibbles(std::uint16_t of);
    std::uint16_t factor;
    alignas(32) std::uint8_t low[4][32], high[4][32];
};

// into ^= factor * from over `count` bytes, an even number; at the level
// asked (0 plain, 1 SSSE3, 2 AVX2), which the caller knows the processor has.
using MultiplyAdd = void (*)(const Nibbles& factor, const std::uint8_t* from, std::uint8_t* into, std::size_t count);
MultiplyAdd multiply_add_at(int level);

std::vector<std::vector<std::uint16_t>> inverse_of(const std::vector<int>& rows, const std::vector<int>& columns);

} // namespace wide
