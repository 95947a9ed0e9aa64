// What no run of the program can make happen: a failing read of a regular
// file, a small copy from a file followed by a large one, a name with a NUL
// handed to the files' calls, and an interruption in the middle of a hole.
#include "pieces/checksum.h"
#include "pieces/data_copy.h"
#include "pieces/failure.h"
#include "pieces/interruption.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(CopyData, FailedReadNamesTheSource)
{
    // Reading a folder fails, as a failing disk's reads do.
    File from, to;
    from.handle = open(".", O_RDONLY | O_DIRECTORY);
    from.name = "source.dat";
    ASSERT_TRUE(open_for_writing(to, "/dev/null", false));
    try {
        DataCopy(from).into(to, 10);
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message, "Error Reading the file : source.dat (Is a directory)\n");
        return;
    }
    FAIL() << "no failure";
}

// A small copy reads a block ahead; a large one after it starts where the
// small one ended, not past what was read ahead.
TEST(CopyData, LargeCopyAfterSmallOnesGoesOnFromTheirEnd)
{
    const std::string source = testing::TempDir() + "zelk-copy-source", copy = testing::TempDir() + "zelk-copy";
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    std::ofstream(source, std::ios::binary) << bytes;
    std::remove(copy.c_str());
    {
        File from, to;
        ASSERT_TRUE(open_for_reading(from, source));
        ASSERT_TRUE(open_for_writing(to, copy, true));
        DataCopy copy(from);
        EXPECT_EQ(copy.into(to, 1000), 1000);
        EXPECT_EQ(copy.into(to, 2 << 20), 2 << 20);
        EXPECT_EQ(copy.into(to, 3 << 20), (1 << 20) - 1000);
    }
    std::ifstream in(copy, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == bytes);
    std::remove(source.c_str());
    std::remove(copy.c_str());
}

// A source whose place cannot be told or set (a pipe put in its place):
// the small copy's block read ahead cannot be given back, so the large copy
// after it fails, named, rather than copy from wherever the source stands;
// a copy of data only takes every byte as it comes.
TEST(CopyData, ASourceWithoutAPlace)
{
    const std::string source = testing::TempDir() + "zelk-placeless", copy = source + ".copy";
    std::ofstream(source, std::ios::binary).seekp((3 << 20) - 1) << 'z';
    const auto piped = [](File& file, const std::string& bytes) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(ends[1]);
        dup2(ends[0], static_cast<int>(file.handle));
        close(ends[0]);
    };
    File from, to;
    ASSERT_TRUE(open_for_reading(from, source));
    ASSERT_TRUE(open_for_writing(to, copy, true));
    from.has_holes = false;
    DataCopy ahead(from);
    EXPECT_EQ(ahead.into(to, 1000), 1000);
    piped(from, "abc");
    try {
        ahead.into(to, 2 << 20);
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message, "Error Reading the file : " + source + " (Illegal seek)\n");
    }
    from.has_holes = true;
    piped(from, "abc");
    EXPECT_EQ(DataCopy(from).into(to, 10), 3);
    std::remove(source.c_str());
    std::remove(copy.c_str());
}

// The name the system would see ends at the NUL: every call refuses it
// rather than open, make or describe the shorter name, which exists here.
TEST(Files, ANameWithANulIsNoName)
{
    const std::string shorter = testing::TempDir() + "zelk-nul", name = shorter + std::string(1, '\0') + "b";
    std::ofstream(shorter) << "kept";
    File file;
    EXPECT_FALSE(open_for_reading(file, name));
    EXPECT_FALSE(open_for_writing(file, name, false));
    EXPECT_FALSE(open_for_writing(file, name, true));
    EXPECT_FALSE(create_piece(file, name));
    EXPECT_EQ(create_new(file, name), Created::failed);
    EXPECT_EQ(about(name).kind, NameInfo::unusable);
    EXPECT_FALSE(identity_of(name).has_value());
    EXPECT_FALSE(is_device_or_pipe(name));
    EXPECT_EQ(about(name, true).kind, NameInfo::unusable);
    std::ifstream in(shorter);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
    std::remove(shorter.c_str());
}

// Ctrl-C in a sparse file's hole of 64 TiB, which no machine hashes in a
// test's time: the checksum stops at once.
// In a process of its own, as an interruption once noted stays.
TEST(Checksums, AnInterruptionStopsAHugeHole)
{
    const auto stopped = [] {
        Checksums sums;
        note_interruption(2);
        try {
            sums.zeros(std::int64_t{1} << 46);
        } catch (const Interrupted&) {
            std::exit(0);
        }
        std::exit(1);
    };
    EXPECT_EXIT(stopped(), testing::ExitedWithCode(0), "");
}

}  // namespace

// Every way of taking checksums this processor has gives xxh128sum's, taken
// at once or in uneven stretches, long and short.
TEST(Checksums, EveryLevelGivesTheSameChecksum)
{
    std::string bytes(100003, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    for (std::size_t level = 0; level < checksum_levels_here(); ++level) {
        use_checksum_level(level);
        Checksums sums(Checksums::one_file);
        for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 3 % 40009 + 1)
            sums.took(bytes.data() + at, static_cast<std::int64_t>(std::min(step, bytes.size() - at)));
        EXPECT_EQ(hex_of(sums.piece_done()), "45791f178bfff9e8d3c5426780ed98b3") << "level " << level;
        EXPECT_EQ(hex_of(checksum_of(bytes.data(), 1000)), "6bcc7eff62da44c26c4f14bd97bd9e82") << "level " << level;
    }
    use_checksum_level(checksum_levels_here() - 1);
}
