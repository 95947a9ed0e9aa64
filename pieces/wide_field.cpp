#include "pieces/wide_field.h"

#include "pieces/square_inverse.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZELK_X86 1
#endif

namespace wide {
namespace {

struct Tables {
    std::unique_ptr<std::uint16_t[]> exp{new std::uint16_t[2 * 65535]};
    std::unique_ptr<std::uint32_t[]> log{new std::uint32_t[65536]};
    Tables()
    {
        std::uint32_t x = 1;
        for (std::uint32_t i = 0; i < 65535; ++i) {
            exp[i] = exp[i + 65535] = static_cast<std::uint16_t>(x);
            log[x] = i;
            x <<= 1;
            if (x & 0x10000)
                x ^= 0x1100b;
        }
        log[0] = 0;
    }
};

const Tables& tables()
{
    static const Tables made;
    return made;
}

std::uint16_t inverse(std::uint16_t a) { return tables().exp[65535 - tables().log[a]]; }

std::uint16_t word_at(const std::uint8_t* bytes, std::size_t i)
{
    return static_cast<std::uint16_t>(bytes[i] | bytes[i + 1] << 8);
}

void plain_multiply_add(const Nibbles& table, const std::uint8_t* from, std::uint8_t* into, std::size_t count)
{
    const std::uint16_t factor = table.factor;
    const Tables& t = tables();
    const std::uint32_t log_factor = t.log[factor];
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        const std::uint16_t word = word_at(from, i);
        const std::uint16_t product = factor == 1 ? word : word == 0 ? 0 : t.exp[log_factor + t.log[word]];
        into[i] ^= static_cast<std::uint8_t>(product);
        into[i + 1] ^= static_cast<std::uint8_t>(product >> 8);
    }
}

#ifdef ZELK_X86
// 16 symbols a step: their low bytes and their high bytes packed apart,
// looked up a nibble at a time, and put back together.
__attribute__((target("ssse3"))) void ssse3_multiply_add(const Nibbles& table, const std::uint8_t* from,
                                                         std::uint8_t* into, std::size_t count)
{
    __m128i low[4], high[4];
    for (int place = 0; place < 4; ++place) {
        low[place] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.low[place]));
        high[place] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.high[place]));
    }
    const __m128i byte_mask = _mm_set1_epi16(0x00ff), nibble = _mm_set1_epi8(0x0f);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 16));
        const __m128i lows = _mm_packus_epi16(_mm_and_si128(a, byte_mask), _mm_and_si128(b, byte_mask));
        const __m128i highs = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        const __m128i n[4] = {_mm_and_si128(lows, nibble), _mm_and_si128(_mm_srli_epi64(lows, 4), nibble),
                              _mm_and_si128(highs, nibble), _mm_and_si128(_mm_srli_epi64(highs, 4), nibble)};
        __m128i product_low = _mm_setzero_si128(), product_high = _mm_setzero_si128();
        for (int place = 0; place < 4; ++place) {
            product_low = _mm_xor_si128(product_low, _mm_shuffle_epi8(low[place], n[place]));
            product_high = _mm_xor_si128(product_high, _mm_shuffle_epi8(high[place], n[place]));
        }
        auto* out = reinterpret_cast<__m128i*>(into + i);
        _mm_storeu_si128(out, _mm_xor_si128(_mm_loadu_si128(out), _mm_unpacklo_epi8(product_low, product_high)));
        _mm_storeu_si128(out + 1, _mm_xor_si128(_mm_loadu_si128(out + 1), _mm_unpackhi_epi8(product_low, product_high)));
    }
    plain_multiply_add(table, from + i, into + i, count - i);
}

// 32 symbols a step; packing and unpacking keep to each half of a
// register, so the order comes back as it went.
__attribute__((target("avx2"))) void avx2_multiply_add(const Nibbles& table, const std::uint8_t* from,
                                                       std::uint8_t* into, std::size_t count)
{
    __m256i low[4], high[4];
    for (int place = 0; place < 4; ++place) {
        low[place] = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.low[place]));
        high[place] = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.high[place]));
    }
    const __m256i byte_mask = _mm256_set1_epi16(0x00ff), nibble = _mm256_set1_epi8(0x0f);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i + 32));
        const __m256i lows = _mm256_packus_epi16(_mm256_and_si256(a, byte_mask), _mm256_and_si256(b, byte_mask));
        const __m256i highs = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        const __m256i n[4] = {_mm256_and_si256(lows, nibble), _mm256_and_si256(_mm256_srli_epi64(lows, 4), nibble),
                              _mm256_and_si256(highs, nibble), _mm256_and_si256(_mm256_srli_epi64(highs, 4), nibble)};
        __m256i product_low = _mm256_setzero_si256(), product_high = _mm256_setzero_si256();
        for (int place = 0; place < 4; ++place) {
            product_low = _mm256_xor_si256(product_low, _mm256_shuffle_epi8(low[place], n[place]));
            product_high = _mm256_xor_si256(product_high, _mm256_shuffle_epi8(high[place], n[place]));
        }
        auto* out = reinterpret_cast<__m256i*>(into + i);
        _mm256_storeu_si256(out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(product_low, product_high)));
        _mm256_storeu_si256(out + 1,
                            _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(product_low, product_high)));
    }
    plain_multiply_add(table, from + i, into + i, count - i);
}
#endif

} // namespace

Nibbles::Nibbles(std::uint16_t of) : factor(of)
{
    for (int place = 0; place < 4; ++place)
        for (int n = 0; n < 16; ++n) {
            const std::uint16_t product = multiply(factor, static_cast<std::uint16_t>(n << (4 * place)));
            low[place][n] = low[place][n + 16] = static_cast<std::uint8_t>(product);
            high[place][n] = high[place][n + 16] = static_cast<std::uint8_t>(product >> 8);
        }
}

std::uint16_t multiply(std::uint16_t a, std::uint16_t b)
{
    return a == 0 || b == 0 ? 0 : tables().exp[tables().log[a] + tables().log[b]];
}

// Row r is x_r = r, column c is y_c = 65535 - c: disjoint while k + m <=
// 65536. Each column is scaled by x_0 + y_c, which makes row 0 all ones.
std::uint16_t coefficient(int row, int column)
{
    const auto y = static_cast<std::uint16_t>(65535 - column);
    return multiply(y, inverse(static_cast<std::uint16_t>(row ^ y)));
}

MultiplyAdd multiply_add_at([[maybe_unused]] int level)
{
#ifdef ZELK_X86
    if (level == 2)
        return avx2_multiply_add;
    if (level == 1)
        return ssse3_multiply_add;
#endif
    return plain_multiply_add;
}

std::vector<std::vector<std::uint16_t>> inverse_of(const std::vector<int>& rows, const std::vector<int>& columns)
{
    return square_inverse<std::uint16_t>(rows, columns, coefficient, multiply, inverse);
}

} // namespace wide
