// The recovery pieces' arithmetic in both fields: fixed bytes every build
// and every processor level must give, ISA-L (GF(2^8)) and gf-complete
// (GF(2^16)) as oracles where they are installed, every way of losing as
// many pieces as there are recovery pieces for small runs, and random
// losses in runs of a thousand and of 65,000 pieces, rebuilt exactly.
#include "pieces/erasure.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#ifdef ZELK_HAVE_ISAL
#include <isa-l/erasure_code.h>
#endif
#ifdef ZELK_HAVE_GF_COMPLETE
extern "C" {
#include <gf_complete.h>
}
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

std::vector<int> first_rows(int m)
{
    std::vector<int> rows;
    for (int row = 0; row < m; ++row)
        rows.push_back(row);
    return rows;
}

// Every row at once, as the program works them out; or a row at a time.
std::vector<Bytes> encoded(Field field, const std::vector<Bytes>& data, int m, bool by_row = false)
{
    std::vector<Bytes> parity(m, Bytes(data[0].size(), 0));
    std::vector<std::uint8_t*> into;
    for (auto& row : parity)
        into.push_back(row.data());
    for (std::size_t column = 0; column < data.size(); ++column) {
        const auto factors = column_of(field, first_rows(m), static_cast<int>(column));
        for (int row = 0; row < m && by_row; ++row)
            multiply_add(field, factors[row], data[column].data(), into[row], data[0].size());
        if (!by_row)
            multiply_add_rows(field, factors.data(), factors.size(), data[column].data(), into.data(), data[0].size());
    }
    return parity;
}

std::string hex(const Bytes& bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes)
        text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
    return text;
}

// Five pieces of 100 bytes, four recovery rows: their first and last eight
// bytes, in each field. Row 0 is the plain XOR in both.
const std::array<std::string, 4> narrow_rows = {
    "3d888b9699242732010c0f1a5da8abb6", "b5c0596dacfea35999a3ce69fb9e0733",
    "80ecdcaf2661dbf71b8f55fd6cfbcbb8", "257c00407fdea07914f0de16390c7030",
};
const std::array<std::string, 4> wide_rows = {
    "3d888b9699242732010c0f1a5da8abb6", "f28c49a31f4bf5070f76a9caa88a6781",
    "953c790097519b546a2151607265d7a6", "cc69134701199fa288efacef47da5785",
};

TEST(Erasure, EveryLevelGivesTheSameBytes)
{
    const auto data = pieces(5, 100);
    for (const Level level : levels_here()) {
        use_level(level);
        for (const Field field : {Field::narrow, Field::wide}) {
            const auto parity = encoded(field, data, 4);
            EXPECT_EQ(parity, encoded(field, data, 4, true)) << "level " << int(level);
            for (int row = 0; row < 4; ++row)
                EXPECT_EQ(hex(Bytes(parity[row].begin(), parity[row].begin() + 8)) + hex(Bytes(parity[row].end() - 8, parity[row].end())),
                          (field == Field::narrow ? narrow_rows : wide_rows)[row])
                    << "row " << row << ", level " << int(level) << ", field " << int(field);
        }
    }
}

// Rebuilds the pieces `columns` from the recovery rows `rows` and the
// other pieces, as a join does.
std::vector<Bytes> rebuilt(Field field, const std::vector<Bytes>& data, const std::vector<Bytes>& parity,
                           const std::vector<int>& rows, const std::vector<int>& columns)
{
    const std::size_t length = data[0].size();
    std::vector<Bytes> syndromes;
    for (const int row : rows)
        syndromes.push_back(parity[row]);
    std::vector<std::uint8_t*> into;
    for (auto& syndrome : syndromes)
        into.push_back(syndrome.data());
    for (std::size_t j = 0; j < data.size(); ++j)
        if (std::find(columns.begin(), columns.end(), static_cast<int>(j)) == columns.end()) {
            const auto factors = column_of(field, rows, static_cast<int>(j));
            multiply_add_rows(field, factors.data(), factors.size(), data[j].data(), into.data(), length);
        }
    const auto inverse = inverse_of(field, rows, columns);
    std::vector<Bytes> made(columns.size(), Bytes(length, 0));
    for (std::size_t c = 0; c < columns.size(); ++c)
        for (std::size_t r = 0; r < rows.size(); ++r)
            multiply_add(field, inverse[c][r], syndromes[r].data(), made[c].data(), length);
    return made;
}

TEST(Erasure, EveryLossRebuilds)
{
    for (const Field field : {Field::narrow, Field::wide})
        for (int k = 1; k <= 6; ++k)
            for (int m = 1; m <= 3; ++m) {
                const auto data = pieces(k, 78);
                const auto parity = encoded(field, data, m);
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
                    const auto made = rebuilt(field, data, parity, rows, columns);
                    for (std::size_t c = 0; c < columns.size(); ++c)
                        ASSERT_EQ(made[c], data[columns[c]]) << "k " << k << " m " << m << " lost " << lost;
                }
            }
}

// Runs too large for GF(2^8): random pieces and recovery pieces lost,
// seeded, as many as there are recovery pieces.
TEST(Erasure, RandomLossesInLargeRunsRebuild)
{
    std::mt19937 draw(2026);
    for (const int k : {1000, 65000}) {
        const auto data = pieces(k, 6);
        for (const int m : {2, 5, 8}) {
            const auto parity = encoded(Field::wide, data, m);
            for (int round = 0; round < 3; ++round) {
                std::vector<int> columns, rows;
                const int spares_lost = static_cast<int>(draw() % static_cast<unsigned>(m));
                while (static_cast<int>(columns.size()) < m - spares_lost) {
                    const int j = static_cast<int>(draw() % static_cast<unsigned>(k));
                    if (std::find(columns.begin(), columns.end(), j) == columns.end())
                        columns.push_back(j);
                }
                for (int r = spares_lost; r < m; ++r)
                    rows.push_back(r);
                const auto made = rebuilt(Field::wide, data, parity, rows, columns);
                for (std::size_t c = 0; c < columns.size(); ++c)
                    ASSERT_EQ(made[c], data[columns[c]]) << "k " << k << " m " << m << " round " << round;
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
            if (k + m > most_narrow_files)
                continue;
            auto data = pieces(k, 4096 + 3);
            Bytes matrix;
            for (int row = 0; row < m; ++row)
                for (int column = 0; column < k; ++column)
                    matrix.push_back(static_cast<std::uint8_t>(coefficient(Field::narrow, row, column)));
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
            EXPECT_EQ(theirs, encoded(Field::narrow, data, m)) << "k " << k << " m " << m << ", level " << int(level);
        }
}
#endif

#ifdef ZELK_HAVE_GF_COMPLETE
// gf-complete's GF(2^16) is the same field (0x1100b): the same
// coefficients, and the same products of every level's multiply-add.
TEST(Erasure, GfCompleteMultipliesTheSame)
{
    gf_t gf;
    ASSERT_NE(gf_init_easy(&gf, 16), 0);
    for (const int row : {0, 1, 7, 300, 60000})
        for (const int column : {0, 1, 255, 256, 535})
            EXPECT_EQ(coefficient(Field::wide, row, column),
                      gf.divide.w32(&gf, 65535u - column, static_cast<unsigned>(row) ^ (65535u - column)))
                << row << ", " << column;
    std::mt19937 draw(16);
    Bytes from(4096 + 64 + 6);
    for (auto& byte : from)
        byte = static_cast<std::uint8_t>(draw());
    for (const Level level : levels_here()) {
        use_level(level);
        for (const unsigned factor : {1u, 2u, 0x1234u, 0xffffu, 0x8000u}) {
            Bytes ours(from.size(), 0x5a), theirs(from.size(), 0x5a);
            multiply_add(Field::wide, static_cast<Factor>(factor), from.data(), ours.data(), from.size());
            gf.multiply_region.w32(&gf, from.data(), theirs.data(), factor, static_cast<int>(from.size()), 1);
            EXPECT_EQ(ours, theirs) << "factor " << factor << ", level " << int(level);
        }
    }
    gf_free(&gf, 0);
}
#endif

}  // namespace
