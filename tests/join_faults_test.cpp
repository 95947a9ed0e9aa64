#include "zelk_process.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string join_asked() { return text::banner + text::question + text::join_prompt; }

// Truncating the output must never destroy a piece still to be read.
class JoinOntoAPiece : public testing::TestWithParam<const char*> {};

TEST_P(JoinOntoAPiece, IsRefusedAndEveryPieceStaysIntact)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    scratch.write("FILE1.SPL", "one");
    const std::string how = GetParam();
    std::string answer = "FILE1.SPL";
    if (how == std::string("path"))
        answer = "./FILE1.SPL";
    else if (how == std::string("hard link"))
        fs::create_hard_link(scratch.dir() / "FILE1.SPL", scratch.dir() / (answer = "out"));
    else if (how == std::string("symbolic link"))
        fs::create_symlink("FILE1.SPL", scratch.dir() / (answer = "out"));

    const std::vector<std::string> before = scratch.names();
    const Outcome run = scratch.run("2 " + answer);
    EXPECT_EQ(run.out, join_asked() + "Error : writing into " + answer + " would overwrite the piece FILE1.SPL\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(scratch.read("FILE0.SPL"), "zero");
    EXPECT_EQ(scratch.read("FILE1.SPL"), "one");
    EXPECT_EQ(scratch.names(), before);
}

INSTANTIATE_TEST_SUITE_P(Names, JoinOntoAPiece, testing::Values("same name", "path", "hard link", "symbolic link"));

TEST(JoinFaults, OutputThatCannotBeCreatedIsReported)
{
    for (const std::string& name : std::vector<std::string>{"missing/out", "folder", std::string(5000, 'o')}) {
        Scratch scratch;
        fs::create_directory(scratch.dir() / "folder");
        scratch.write("FILE0.SPL", "zero");
        const Outcome run = scratch.run("2 " + name);
        EXPECT_EQ(run.out, join_asked() + "Error Opening the file : " + name) << name;
        EXPECT_EQ(run.status, 1) << name;
    }
}

TEST(JoinFaults, MissingOutputNameCreatesNothing)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    const Outcome run = scratch.run("2 \n ");
    EXPECT_EQ(run.out, join_asked() + "No file name to write was given\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(scratch.names(), std::vector<std::string>{"FILE0.SPL"});
}

TEST(JoinFaults, FolderAmongThePiecesIsReported)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    fs::create_directory(scratch.dir() / "FILE1.SPL");
    scratch.write("FILE2.SPL", "two");
    const Outcome run = scratch.run("2 out");
    EXPECT_EQ(run.out, join_asked() + "Error Opening the file : FILE1.SPL");
    EXPECT_EQ(run.status, 1);
}

TEST(JoinFaults, DeviceThatIsAlwaysFull)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    const Outcome run = scratch.run("2 /dev/full");
    EXPECT_EQ(run.out, join_asked() + "Error Writing the file : /dev/full\n");
    EXPECT_EQ(run.status, 1);
}

// Pieces of 40000 bytes overflow the limit in the middle of the copy; pieces
// of 900 bytes fit the stream's buffer and overflow only as it is flushed.
class JoinFullDisk : public testing::TestWithParam<std::size_t> {};

TEST_P(JoinFullDisk, IsReportedNamingTheOutput)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", every_byte_value(GetParam()));
    scratch.write("FILE1.SPL", every_byte_value(GetParam()));
    Launch launch;
    launch.input = "2 out";
    launch.file_size_limit = 1000;
    const Outcome run = scratch.run(launch);
    EXPECT_EQ(run.out, join_asked() + "Error Writing the file : out\n");
    EXPECT_EQ(run.status, 1);
}

INSTANTIATE_TEST_SUITE_P(PieceLengths, JoinFullDisk, testing::Values(40000u, 900u));

}  // namespace
