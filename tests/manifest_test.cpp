// The manifest as the split writes it and the join reads it back: names
// that no answer can give (a line break in them) must come back whole.
#include "pieces/manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

Manifest written(const std::string& source, bool finished)
{
    Manifest m;
    m.source = source, m.size = 5000, m.piece_size = 2048, m.count = 3, m.finished = finished;
    m.whole[0] = 0xab;
    if (finished)
        for (unsigned char n = 0; n < 3; ++n)
            m.pieces.push_back(Digest{n, 0xff});
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

} // namespace
