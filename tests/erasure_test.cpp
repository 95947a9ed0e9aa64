// The recovery pieces' arithmetic: fixed bytes every build and every
// processor level must give, ISA-L's own encoder as an oracle where it is
// installed, and every way of losing as many pieces as there are recovery
// pieces, rebuilt exactly.
#include "pieces/erasure.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#ifdef ZELK_HAVE_ISAL
#include <isa-l/erasure_code.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// Piece j's byte i, every value met.
std::vector<Bytes> pieces(int k, std::size_t length)
{
    std::vector<Bytes> made(k, Bytes(length));
    for (int j = 0; j < k; ++j)
        for (std::size_t i = 0; i < length; ++i)
            made[j][i] = static_cast<std::uint8_t>(j * 31 + i * 7 + (i >> 8) + 1);
    return made;
}

// Every row at once, as the program works them out; or a row at a time.
std::vector<Bytes> encoded(const std::vector<Bytes>& data, int m, bool by_row = false)
{
    std::vector<Bytes> parity(m, Bytes(data[0].size(), 0));
    std::vector<int> rows;
    std::vector<std::uint8_t*> into;
    for (int row = 0; row < m; ++row)
        rows.push_back(row), into.push_back(parity[row].data());
    for (std::size_t column = 0; column < data.size(); ++column) {
        const auto factors = column_of(rows, static_cast<int>(column));
        for (int row = 0; row < m && by_row; ++row)
            multiply_add(factors[row], data[column].data(), into[row], data[0].size());
        if (!by_row)
            multiply_add_rows(factors.data(), factors.size(), data[column].data(), into.data(), data[0].size());
    }
    return parity;
}

std::string hex(const Bytes& bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += "0123456789abcdef"[bytes[i] >> 4], text += "0123456789abcdef"[bytes[i] & 15];
    return text;
}

// Five pieces of 100 bytes, four recovery rows: their first and last eight
// bytes. Row 0 is the plain XOR.
const std::array<std::string, 8> expected = {
    "3d888b9699242732", "010c0f1a5da8abb6", "b5c0596dacfea359", "99a3ce69fb9e0733",
    "80ecdcaf2661dbf7", "1b8f55fd6cfbcbb8", "257c00407fdea079", "14f0de16390c7030",
};

TEST(Erasure, EveryLevelGivesTheSameBytes)
{
    const auto data = pieces(5, 100);
    for (const Level level : levels_here()) {
        use_level(level);
        const auto parity = encoded(data, 4);
        EXPECT_EQ(parity, encoded(data, 4, true)) << "level " << int(level);
        Bytes xor_of(100, 0);
        for (const auto& piece : data)
            for (std::size_t i = 0; i < 100; ++i)
                xor_of[i] ^= piece[i];
        EXPECT_EQ(parity[0], xor_of);
        for (int row = 0; row < 4; ++row) {
            const Bytes last(parity[row].end() - 8, parity[row].end());
            EXPECT_EQ(hex(parity[row], 8) + hex(last, 8), expected[2 * row] + expected[2 * row + 1])
                << "row " << row << ", level " << int(level);
        }
    }
}

TEST(Erasure, EveryLossRebuilds)
{
    for (int k = 1; k <= 6; ++k)
        for (int m = 1; m <= 3; ++m) {
            const auto data = pieces(k, 77);
            const auto parity = encoded(data, m);
            // Each set of lost pieces, data and recovery together, as a mask.
            for (unsigned lost = 0; lost < (1u << (k + m)); ++lost) {
                if (__builtin_popcount(lost) > m)
                    continue;
                std::vector<int> columns, rows;
                for (int j = 0; j < k; ++j)
                    if (lost & (1u << j))
                        columns.push_back(j);
                for (int r = 0; r < m && rows.size() < columns.size(); ++r)
                    if (!(lost & (1u << (k + r))))
                        rows.push_back(r);
                ASSERT_EQ(rows.size(), columns.size());
                const auto inverse = inverse_of(rows, columns);
                for (std::size_t c = 0; c < columns.size(); ++c) {
                    Bytes rebuilt(77, 0);
                    for (std::size_t r = 0; r < rows.size(); ++r) {
                        Bytes syndrome = parity[rows[r]];
                        for (int j = 0; j < k; ++j)
                            if (!(lost & (1u << j)))
                                multiply_add(coefficient(rows[r], j), data[j].data(), syndrome.data(), 77);
                        multiply_add(inverse[c][r], syndrome.data(), rebuilt.data(), 77);
                    }
                    ASSERT_EQ(rebuilt, data[columns[c]]) << "k " << k << " m " << m << " lost " << lost;
                }
            }
        }
}

#ifdef ZELK_HAVE_ISAL
TEST(Erasure, IsalEncodesTheSameMatrixTheSame)
{
    for (const Level level : levels_here())
    for (const int k : {1, 7, 22, 100, 250})
        for (const int m : {1, 2, 4, 6}) {
            if (k + m > most_pieces_with_recovery)
                continue;
            auto data = pieces(k, 4096 + 3);
            Bytes matrix;
            for (int row = 0; row < m; ++row)
                for (int column = 0; column < k; ++column)
                    matrix.push_back(coefficient(row, column));
            Bytes tables(32 * k * m);
            ec_init_tables(k, m, matrix.data(), tables.data());
            std::vector<Bytes> theirs(m, Bytes(data[0].size()));
            std::vector<unsigned char*> in, out;
            for (auto& piece : data)
                in.push_back(piece.data());
            for (auto& piece : theirs)
                out.push_back(piece.data());
            ec_encode_data(static_cast<int>(data[0].size()), k, m, tables.data(), in.data(), out.data());
            use_level(level);
            EXPECT_EQ(theirs, encoded(data, m)) << "k " << k << " m " << m << ", level " << int(level);
        }
}
#endif

}  // namespace
