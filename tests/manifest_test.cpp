// The manifest as the split writes it and the join reads it back: names
// that no answer can give (a line break in them) must come back whole. It
// is put in place as a joined file is, through a replacement.
#include "pieces/manifest.h"
#include "pieces/replacement.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include <stdlib.h>

namespace {

// A folder of each test's own: ctest runs them in parallel processes.
struct InFolder : testing::Test {
    std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::path here;
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "zelk-manifest-XXXXXX";
        here = mkdtemp(pattern.data());
        std::filesystem::current_path(here);
    }
    void TearDown() override
    {
        std::filesystem::current_path(was);
        std::filesystem::remove_all(here);
    }
};

// So many pieces (three, or past 256 files in all) and `recovery` recovery
// pieces, with their blocks where `blocks`.
Manifest written(const std::string& source, bool finished, int recovery = 0, bool blocks = false, int count = 3)
{
    Manifest m;
    m.source = source, m.size = count * 2048 - 1144, m.piece_size = 2048, m.count = count, m.finished = finished;
    m.recovery = recovery;
    m.whole[0] = 0xab;
    if (finished) {
        for (int n = 0; n < count; ++n)
            m.pieces.push_back(Digest{static_cast<unsigned char>(n), 0xff});
        for (unsigned char n = 0; n < recovery; ++n)
            m.recovery_pieces.push_back(Digest{0xcd, n});
        for (int n = 0; blocks && n < count + recovery; ++n)
            m.blocks.push_back(Digest{0xbb, static_cast<unsigned char>(n)});
    }
    File file;
    EXPECT_EQ(create_new(file, manifest_name), Created::made);
    EXPECT_TRUE(write_manifest(file, m));
    return m;
}

TEST_F(InFolder, NamesReadBackWhole)
{
    for (const std::string name : {"big.dat", "a\nb", "a\rb", "back\\slash", "\\n", "trailing\\", "x\r\n"}) {
        const Manifest m = written(name, true);
        Manifest read;
        EXPECT_EQ(read_manifest(read), ManifestRead::read) << name;
        EXPECT_EQ(read.source, name);
        EXPECT_EQ(read.pieces, m.pieces);
        EXPECT_EQ(read.whole, m.whole);
        std::filesystem::remove(manifest_name);
    }
}

TEST_F(InFolder, WhatNoSplitWritesIsMalformed)
{
    const Manifest m = written("big.dat", true);
    std::ifstream in(manifest_name);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const std::string header = text.substr(0, text.find('\n') + 1), body = text.substr(header.size());
    const std::string rows[] = {
        header,                                                    // no pieces
        header + body + body.substr(0, body.find('\n') + 1),      // one too many
        header + body.substr(0, body.size() - 1),                 // no last line break
        "# zelk: a\\xb, 5000 bytes in 3 pieces of 2048 bytes, unfinished\n",
        "# zelk: big.dat, 5000 bytes in 2 pieces of 2048 bytes, unfinished\n",
        "# zelk: big.dat, 5000 bytes in 3 pieces of 2000 bytes, unfinished\n",
    };
    for (const std::string& row : rows) {
        std::ofstream(manifest_name, std::ios::trunc) << row;
        Manifest read;
        EXPECT_EQ(read_manifest(read), ManifestRead::malformed) << row;
    }
}

// The manifest goes out in batches of 64 KiB: with a one-letter source and
// pieces of 1 KiB, the line of FILE1415.SPL ends the first batch exactly.
TEST_F(InFolder, ALineThatEndsABatchExactlyIsKept)
{
    for (const std::int64_t count : {1415, 1416, 2000}) {
        Manifest m;
        m.source = "s", m.size = count * 1024, m.piece_size = 1024, m.count = count, m.finished = true;
        for (std::int64_t n = 0; n < count; ++n)
            m.pieces.push_back(Digest{static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8)});
        File file;
        ASSERT_EQ(create_new(file, manifest_name), Created::made);
        ASSERT_TRUE(write_manifest(file, m));
        Manifest read;
        EXPECT_EQ(read_manifest(read), ManifestRead::read) << count;
        EXPECT_EQ(read.pieces, m.pieces) << count;
        std::filesystem::remove(manifest_name);
    }
}

std::string held_in(const std::string& name)
{
    std::ifstream in(name);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST_F(InFolder, RecoveryPiecesAndTheirBlocksReadBack)
{
    const Manifest m = written("big.dat", true, 3, true);
    const std::string text = held_in(manifest_name);
    EXPECT_NE(text.find(", 3 recovery pieces, whole "), std::string::npos);
    EXPECT_NE(text.find("  FILES3.REV\n# bb00"), std::string::npos) << text;
    EXPECT_NE(text.find("  FILES3.REV block 0\n"), std::string::npos) << text;
    Manifest read;
    ASSERT_EQ(read_manifest(read), ManifestRead::read);
    EXPECT_EQ(read.recovery, 3);
    EXPECT_EQ(read.recovery_pieces, m.recovery_pieces);
    EXPECT_EQ(read.blocks, m.blocks);
    EXPECT_EQ(read.block_digest(4, 0), (Digest{0xbb, 4}));
    // A block too few, or none of the recovery pieces' lines, is no manifest.
    for (const std::string& cut : {text.substr(0, text.rfind('#')), text.substr(0, text.find("  FILES.REV") - 32)}) {
        std::ofstream(manifest_name, std::ios::trunc) << cut;
        Manifest again;
        EXPECT_EQ(read_manifest(again), ManifestRead::malformed) << cut;
    }
}

TEST_F(InFolder, ARecoveryPieceListedTwiceIsMalformed)
{
    written("big.dat", true, 1);
    Manifest read;
    ASSERT_EQ(read_manifest(read), ManifestRead::read);
    EXPECT_EQ(read.recovery_pieces.at(0)[0], 0xcd);
    const std::string text = held_in(manifest_name);
    std::ofstream(manifest_name, std::ios::app) << text.substr(text.rfind('\n', text.size() - 2) + 1);
    Manifest again;
    EXPECT_EQ(read_manifest(again), ManifestRead::malformed);
}

// Crafted manifests: the reader's work stays bounded by the line, and its
// A run's block: 1 MiB at most, less with many recovery pieces; past 256
// files, grown so that some 65,536 blocks are listed at most.
TEST(Blocks, SizeOfEachRun)
{
    const std::tuple<std::int64_t, int, std::int64_t, std::int64_t> rows[] = {
        {1 << 20, 1, 5, 1 << 20},         {64 << 20, 2, 8, 1 << 20},        {64 << 20, 254, 2, 28672},
        {512 << 10, 11, 1024, 512 << 10}, {1024, 8, 65528, 1024},           {64 << 20, 2, 2000, 2052096},
        {64 << 20, 100, 2000, 2150400},   {4096, 65535, 1, 4096},
    };
    for (const auto& [piece, recovery, count, block] : rows)
        EXPECT_EQ(block_size_for(piece, recovery, count), block) << piece << " " << recovery << " " << count;
}

// numbers are checked, whatever the file holds.
TEST_F(InFolder, CraftedHeadersAreMalformed)
{
    const std::string whole = " whole " + std::string(32, '0') + "\n";
    const std::string rows[] = {
        "# zelk: x, " + std::string(30000, '1') + " bytes in 1 piece of 1024 bytes," + whole,
        "# zelk: x, 9223372036854775807 bytes in 9007199254740992 pieces of 1024 bytes," + whole,
        "# zelk: x, 9223372036854775807 bytes in 9007199254740992 pieces of 2199023254528 bytes," + whole,
        "# zelk: x, 05000 bytes in 3 pieces of 2048 bytes, unfinished\n",
        "# zelk: x\ry, 5000 bytes in 3 pieces of 2048 bytes, unfinished\n",
        "# zelk: " + std::string(5000, 'n') + ", 5000 bytes in 3 pieces of 2048 bytes, unfinished\n",
        "# zelk: x, 67107840 bytes in 65535 pieces of 1024 bytes, 2 recovery pieces, unfinished\n",
        "# zelk: x, 1024 bytes in 1 piece of 1024 bytes, 65536 recovery pieces, unfinished\n",
        "# zelk: x, 1024 bytes in 1 piece of 1024 bytes, 99999999999 recovery pieces, unfinished\n",
    };
    for (const std::string& row : rows) {
        std::ofstream(manifest_name, std::ios::trunc) << row;
        Manifest read;
        EXPECT_EQ(read_manifest(read), ManifestRead::malformed) << row.substr(0, 80);
    }
}

// One seeded mutation of a good manifest: bytes changed, cut or repeated,
// numbers made huge, lines made long or many.
std::string mutated(std::string text, std::mt19937& draw)
{
    const auto at = [&] { return text.empty() ? 0 : draw() % text.size(); };
    switch (draw() % 7) {
    case 0: if (!text.empty()) text[at()] = static_cast<char>(draw()); break;
    case 1: text.erase(at(), draw() % 40); break;
    case 2: text.insert(at(), std::string(draw() % 3 == 0 ? 70000 : draw() % 30, "0123456789 ,\n\\"[draw() % 14])); break;
    case 3: { const std::size_t from = at(); text.insert(at(), text.substr(from, draw() % 200)); break; }
    case 4: text.insert(at(), std::to_string(draw()) + "9223372036854775807"); break;
    case 5: for (int n = draw() % 2000; n > 0; --n) text += text.substr(text.find('\n') + 1, 46); break;
    default: text.resize(at()); break;
    }
    return text;
}

TEST_F(InFolder, MutatedManifestsAreMalformedOrReadBackTheSame)
{
    std::vector<std::string> good;
    // The last two past 256 files: in GF(2^16), their blocks as large.
    for (const int recovery : {0, 1, 2, 3})
        for (const bool finished : {false, true}) {
            written("a\\b\nc", finished, std::min(recovery, 2), recovery >= 2, recovery == 3 ? 300 : 3);
            good.push_back(held_in(manifest_name));
            std::filesystem::remove(manifest_name);
        }
    std::mt19937 draw(2026);
    int read_back = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = good[round % good.size()];
        for (int n = 1 + draw() % 3; n > 0; --n)
            text = mutated(text, draw);
        std::ofstream(manifest_name, std::ios::trunc | std::ios::binary) << text;
        Manifest read;
        const ManifestRead found = read_manifest(read);
        ASSERT_NE(found, ManifestRead::absent);
        if (found == ManifestRead::malformed)
            continue;
        ++read_back;
        File file;
        std::filesystem::remove(manifest_name);
        ASSERT_EQ(create_new(file, manifest_name), Created::made);
        ASSERT_TRUE(write_manifest(file, read));
        // What follows an unfinished manifest's first line is not read.
        const std::string vouched = read.finished ? text : text.substr(0, text.find('\n') + 1);
        ASSERT_EQ(held_in(manifest_name), vouched) << "round " << round;
    }
    EXPECT_GT(read_back, 40);
}

std::vector<std::string> names_here()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(InFolder, ReplacementStandsBesideUnderAHiddenNameUntilPutInPlace)
{
    std::ofstream("out") << "old";
    {
        Replacement kept("out", "told");
        const auto names = names_here();
        ASSERT_EQ(names.size(), 2u);
        EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(\.out\.zelk-[0-9a-z]{6})"))) << names[0];
        ASSERT_TRUE(write_all(kept.file(), "new", 3));
        kept.put_in_place();
    }
    {
        Replacement dropped("out", "told");
        ASSERT_TRUE(write_all(dropped.file(), "lost", 4));
    }
    EXPECT_EQ(held_in("out"), "new");
    EXPECT_EQ(names_here(), std::vector<std::string>{"out"});
}

} // namespace
