#include "pieces/erasure.h"

#include "pieces/square_inverse.h"
#include "pieces/wide_field.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZELK_X86 1
#endif

namespace {

struct Tables {
    std::array<std::uint8_t, 512> exp{};
    std::array<int, 256> log{};
    Tables()
    {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = exp[i + 255] = static_cast<std::uint8_t>(x);
            log[x] = i;
            x <<= 1;
            if (x & 0x100)
                x ^= 0x11d;
        }
    }
};

const Tables& tables()
{
    static const Tables made;
    return made;
}

std::uint8_t inverse(std::uint8_t a) { return tables().exp[255 - tables().log[a]]; }

std::uint8_t gf_multiply(std::uint8_t a, std::uint8_t b)
{
    return a == 0 || b == 0 ? 0 : tables().exp[tables().log[a] + tables().log[b]];
}


void plain_multiply_add(std::uint8_t factor, const std::uint8_t* from, std::uint8_t* into, std::size_t count)
{
    if (factor == 1)
        for (std::size_t i = 0; i < count; ++i)
            into[i] ^= from[i];
    else
        for (std::size_t i = 0; i < count; ++i)
            into[i] ^= gf_multiply(factor, from[i]);
}

// The products of `factor` with each low and each high half of a byte: a
// byte's product is the XOR of its halves' (the split-table method).
struct Halves {
    alignas(32) std::uint8_t low[32], high[32];
};

// Every factor's halves, built once: 16 KiB.
const Halves& halves_of(std::uint8_t factor)
{
    static const auto all = [] {
        std::array<Halves, 256> made{};
        for (int f = 0; f < 256; ++f)
            for (int i = 0; i < 16; ++i) {
                made[f].low[i] = made[f].low[i + 16] = gf_multiply(static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(i));
                made[f].high[i] = made[f].high[i + 16] =
                    gf_multiply(static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(i << 4));
            }
        return made;
    }();
    return all[factor];
}


#ifdef ZELK_X86
__attribute__((target("ssse3"))) void ssse3_multiply_add(std::uint8_t factor, const std::uint8_t* from,
                                                         std::uint8_t* into, std::size_t count)
{
    const Halves& halves = halves_of(factor);
    const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i*>(halves.low));
    const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i*>(halves.high));
    const __m128i mask = _mm_set1_epi8(0x0f);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        // Row 0, the XOR, is the most used: its product is the byte itself.
        const __m128i product =
            factor == 1 ? bytes
                        : _mm_xor_si128(_mm_shuffle_epi8(low, _mm_and_si128(bytes, mask)),
                                        _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi64(bytes, 4), mask)));
        auto* out = reinterpret_cast<__m128i*>(into + i);
        _mm_storeu_si128(out, _mm_xor_si128(_mm_loadu_si128(out), product));
    }
    plain_multiply_add(factor, from + i, into + i, count - i);
}

__attribute__((target("avx2"))) void avx2_multiply_add(std::uint8_t factor, const std::uint8_t* from,
                                                       std::uint8_t* into, std::size_t count)
{
    const Halves& halves = halves_of(factor);
    const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(halves.low));
    const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i*>(halves.high));
    const __m256i mask = _mm256_set1_epi8(0x0f);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i product =
            factor == 1 ? bytes
                        : _mm256_xor_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(bytes, mask)),
                                           _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi64(bytes, 4), mask)));
        auto* out = reinterpret_cast<__m256i*>(into + i);
        _mm256_storeu_si256(out, _mm256_xor_si256(_mm256_loadu_si256(out), product));
    }
    plain_multiply_add(factor, from + i, into + i, count - i);
}

#endif

// The i686 Windows build's default processor has no SSE at all: the
// instructions are asked of the processor, not of the build.
std::vector<Level> found_levels()
{
    std::vector<Level> found{Level::plain};
#ifdef ZELK_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3"))
        found.push_back(Level::ssse3);
    if (__builtin_cpu_supports("avx2"))
        found.push_back(Level::avx2);
#endif
    return found;
}

using MultiplyAdd = void (*)(std::uint8_t, const std::uint8_t*, std::uint8_t*, std::size_t);

MultiplyAdd at([[maybe_unused]] Level level)
{
#ifdef ZELK_X86
    if (level == Level::avx2)
        return avx2_multiply_add;
    if (level == Level::ssse3)
        return ssse3_multiply_add;
#endif
    return plain_multiply_add;
}

// Each field's function at the level chosen, once, at the first call.
struct Chosen {
    MultiplyAdd narrow;
    wide::MultiplyAdd wide;
};

Chosen chosen_at(Level level) { return {at(level), wide::multiply_add_at(static_cast<int>(level))}; }

std::atomic<const Chosen*> chosen{nullptr};

const Chosen& chosen_level()
{
    static const Chosen best = chosen_at(found_levels().back());
    const Chosen* call = chosen.load(std::memory_order_relaxed);
    return call ? *call : best;
}

// Row r is x_r = r, column c is y_c = 255 - c: disjoint while k + m <= 256.
// Each column is scaled by x_0 + y_c, which makes row 0 all ones.
std::uint8_t narrow_coefficient(int row, int column)
{
    const auto y = static_cast<std::uint8_t>(255 - column);
    return gf_multiply(y, inverse(static_cast<std::uint8_t>(row ^ y)));
}

std::vector<std::vector<Factor>> narrow_inverse_of(const std::vector<int>& rows, const std::vector<int>& columns)
{
    const auto part = square_inverse<std::uint8_t>(rows, columns, narrow_coefficient, gf_multiply, inverse);
    std::vector<std::vector<Factor>> result;
    for (const auto& column : part)
        result.emplace_back(column.begin(), column.end());
    return result;
}

} // namespace

Factor coefficient(Field field, int row, int column)
{
    return field == Field::narrow ? narrow_coefficient(row, column) : wide::coefficient(row, column);
}

std::vector<Factor> column_of(Field field, const std::vector<int>& rows, int column)
{
    std::vector<Factor> factors;
    for (const int row : rows)
        factors.push_back(coefficient(field, row, column));
    return factors;
}

void multiply_add(Field field, Factor factor, const std::uint8_t* from, std::uint8_t* into, std::size_t count)
{
    if (factor == 0)
        return;
    if (field == Field::narrow)
        chosen_level().narrow(static_cast<std::uint8_t>(factor), from, into, count);
    else
        chosen_level().wide(wide::Nibbles(factor), from, into, count);
}

// A stretch of `from` small enough to stay in the first cache while every
// row takes it, each with its tables in registers.
void multiply_add_rows(Field field, const Factor* factors, std::size_t rows, const std::uint8_t* from,
                       std::uint8_t* const* into, std::size_t count)
{
    constexpr std::size_t stretch = 4096;
    if (field == Field::narrow) {
        for (std::size_t start = 0; start < count; start += stretch)
            for (std::size_t row = 0; row < rows; ++row)
                multiply_add(field, factors[row], from + start, into[row] + start, std::min(stretch, count - start));
        return;
    }
    std::vector<wide::Nibbles> tables;
    for (std::size_t row = 0; row < rows; ++row)
        tables.emplace_back(factors[row]);
    const wide::MultiplyAdd call = chosen_level().wide;
    for (std::size_t start = 0; start < count; start += stretch)
        for (std::size_t row = 0; row < rows; ++row)
            if (factors[row] != 0)
                call(tables[row], from + start, into[row] + start, std::min(stretch, count - start));
}

std::vector<Level> levels_here() { return found_levels(); }

void use_level(Level level)
{
    static std::array<Chosen, 3> each{chosen_at(Level::plain), chosen_at(Level::ssse3), chosen_at(Level::avx2)};
    chosen.store(&each[static_cast<std::size_t>(level)]);
}

std::vector<std::vector<Factor>> inverse_of(Field field, const std::vector<int>& rows, const std::vector<int>& columns)
{
    return field == Field::narrow ? narrow_inverse_of(rows, columns) : wide::inverse_of(rows, columns);
}
