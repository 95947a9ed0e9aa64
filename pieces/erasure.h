#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reed-Solomon: recovery piece `row` of a run holds, at every offset, the
// sum over the pieces `column` of coefficient(row, column) times that
// piece's symbol there. The matrix is a Cauchy matrix scaled so that row 0
// is all ones, the plain XOR: any square part of it can be inverted, so any
// m lost pieces of a run of k pieces and m recovery pieces come back.
// A run of at most 256 files, k + m, is in GF(2^8) (polynomial 0x11d), a
// symbol a byte, as every run was before larger ones were; a larger one,
// up to 65,536 files, in GF(2^16) (0x1100b), a symbol two bytes, the low
// one first. The field follows from the manifest's counts alone.
enum class Field : char { narrow, wide };
constexpr std::int64_t most_narrow_files = 256, most_files_with_recovery = 65536;
inline Field field_for(std::int64_t files) { return files <= most_narrow_files ? Field::narrow : Field::wide; }

// A field's element: a byte's value in GF(2^8).
using Factor = std::uint16_t;
Factor coefficient(Field field, int row, int column);
// The coefficients of `column` in each of `rows`, in their order.
std::vector<Factor> column_of(Field field, const std::vector<int>& rows, int column);

// into[i] ^= factor * from[i] symbol by symbol over `count` bytes (an even
// number in GF(2^16): a piece's odd end is padded with a zero byte for the
// arithmetic), with the fastest instructions this processor has (chosen
// once, at the first call).
void multiply_add(Field field, Factor factor, const std::uint8_t* from, std::uint8_t* into, std::size_t count);

// How many bytes the arithmetic takes for `count` bytes of a piece: in
// GF(2^16), an odd end as a whole symbol, its other byte a zero written at
// bytes[count], which must be there; never any padding in a file.
inline std::size_t symbol_bytes(Field field, std::uint8_t* bytes, std::size_t count)
{
    if (field == Field::narrow || count % 2 == 0)
        return count;
    bytes[count] = 0;
    return count + 1;
}

// The same for each of `rows` rows, into[r] ^= factors[r] * from: each
// stretch of `from` is read once for them all, as a recovery row's piece is
// worked into every recovery piece.
void multiply_add_rows(Field field, const Factor* factors, std::size_t rows, const std::uint8_t* from,
                       std::uint8_t* const* into, std::size_t count);

// The instructions multiply_add may use, for the tests that hold each.
enum class Level { plain, ssse3, avx2 };
std::vector<Level> levels_here();
void use_level(Level level);

// The inverse of the square part of the matrix at `rows` and `columns`:
// inverse[c][r] is what recovery row rows[r], less the pieces that are
// whole, contributes to piece columns[c].
std::vector<std::vector<Factor>> inverse_of(Field field, const std::vector<int>& rows, const std::vector<int>& columns);
