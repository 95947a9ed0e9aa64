#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reed-Solomon over GF(2^8) (polynomial 0x11d): recovery piece `row` of a
// run holds, at every offset, the sum over the pieces `column` of
// coefficient(row, column) times that piece's byte there. The matrix is a
// Cauchy matrix scaled so that row 0 is all ones, the plain XOR: any
// square part of it can be inverted, so any m lost pieces of a run of
// k pieces and m recovery pieces, k + m <= 256, come back.
constexpr int most_pieces_with_recovery = 256;

std::uint8_t gf_multiply(std::uint8_t a, std::uint8_t b);
std::uint8_t coefficient(int row, int column);
// The coefficients of `column` in each of `rows`, in their order.
std::vector<std::uint8_t> column_of(const std::vector<int>& rows, int column);

// into[i] ^= factor * from[i] for i < count, with the fastest instructions
// this processor has (chosen once, at the first call).
void multiply_add(std::uint8_t factor, const std::uint8_t* from, std::uint8_t* into, std::size_t count);

// The same for each of `rows` rows, into[r][i] ^= factors[r] * from[i]:
// each stretch of `from` is read once for them all, as a recovery row's
// piece is worked into every recovery piece.
void multiply_add_rows(const std::uint8_t* factors, std::size_t rows, const std::uint8_t* from,
                       std::uint8_t* const* into, std::size_t count);

// The instructions multiply_add may use, for the tests that hold each.
enum class Level { plain, ssse3, avx2 };
std::vector<Level> levels_here();
void use_level(Level level);

// The inverse of the square part of the matrix at `rows` and `columns`:
// inverse[c][r] is what recovery row rows[r], less the pieces that are
// whole, contributes to piece columns[c].
std::vector<std::vector<std::uint8_t>> inverse_of(const std::vector<int>& rows, const std::vector<int>& columns);
