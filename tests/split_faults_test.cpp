#include "zelk_process.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string split_dialogue() { return text::banner + text::question + text::split_name_prompt + text::split_size_prompt; }

TEST(SplitFaults, MissingSourceIsReportedAfterBothQuestions)
{
    Scratch scratch;
    const Outcome run = scratch.run("1 nothere.dat 64\n");
    EXPECT_EQ(run.out, split_dialogue() + "Error Opening the file : nothere.dat");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(scratch.names().empty());
}

TEST(SplitFaults, MissingSourceWinsOverABadSize)
{
    Scratch scratch;
    const Outcome run = scratch.run("1 nothere.dat 0\n");
    EXPECT_EQ(run.out, split_dialogue() + "Error Opening the file : nothere.dat");
    EXPECT_EQ(run.status, 1);
}

TEST(SplitFaults, NameEndsAtTheFirstBlank)
{
    Scratch scratch;
    scratch.write("my file", "data");
    const Outcome run = scratch.run("1\nmy file\n1\n");
    EXPECT_EQ(run.out, split_dialogue() + "Error Opening the file : my");
    EXPECT_EQ(run.status, 1);
}

TEST(SplitFaults, FolderAsSourceCannotBeOpened)
{
    Scratch scratch;
    fs::create_directory(scratch.dir() / "folder");
    const Outcome run = scratch.run("1 folder 1");
    EXPECT_EQ(run.out, split_dialogue() + "Error Opening the file : folder");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(scratch.names(), std::vector<std::string>{"folder"});
}

TEST(SplitFaults, OverlongNameIsReportedAsUnopenable)
{
    Scratch scratch;
    const std::string name(5000, 'x');
    const Outcome run = scratch.run("1 " + name + " 1");
    EXPECT_EQ(run.out, split_dialogue() + "Error Opening the file : " + name);
    EXPECT_EQ(run.status, 1);
}

TEST(SplitFaults, MissingNameEndsTheSplit)
{
    Scratch scratch;
    const Outcome run = scratch.run("1");
    EXPECT_EQ(run.out, text::banner + text::question + text::split_name_prompt + "No file name to split was given\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(scratch.names().empty());
}

struct BadSize {
    const char* answer;
    const char* message;
};

class SplitBadSizes : public testing::TestWithParam<BadSize> {};

TEST_P(SplitBadSizes, AreRefusedBeforeAnyPiece)
{
    Scratch scratch;
    scratch.write("src", every_byte_value(3000));
    const Outcome run = scratch.run(std::string("1 src ") + GetParam().answer);
    EXPECT_EQ(run.out, split_dialogue() + GetParam().message);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(scratch.names(), std::vector<std::string>{"src"});
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SplitBadSizes,
    testing::Values(BadSize{"0", "Invalid size of the splitted files : 0\n"},
                    BadSize{"-5", "Invalid size of the splitted files : -5\n"},
                    BadSize{"abc", "Invalid size of the splitted files : abc\n"},
                    BadSize{"2147483648", "Invalid size of the splitted files : 2147483648\n"},
                    BadSize{"4294967297", "Invalid size of the splitted files : 4294967297\n"},
                    BadSize{"", "No size of the splitted files was given\n"}),
    [](const testing::TestParamInfo<BadSize>& size) { return "answer_" + std::to_string(size.index); });

// The split must never truncate the very file it reads.
class SplitOntoItself : public testing::TestWithParam<const char*> {};

TEST_P(SplitOntoItself, IsRefusedAndTheSourceStaysIntact)
{
    Scratch scratch;
    const std::string source = every_byte_value(3 * 1024 + 5);
    scratch.write("FILE2.SPL", source);
    const std::string how = GetParam();
    std::string answer = "FILE2.SPL";
    if (how == std::string("path"))
        answer = "./FILE2.SPL";
    else if (how == std::string("hard link"))
        fs::create_hard_link(scratch.dir() / "FILE2.SPL", scratch.dir() / (answer = "other"));
    else if (how == std::string("symbolic link"))
        fs::create_symlink("FILE2.SPL", scratch.dir() / (answer = "other"));

    const std::vector<std::string> before = scratch.names();
    const Outcome run = scratch.run("1 " + answer + " 1");
    EXPECT_EQ(run.out, split_dialogue() + "Error : splitting " + answer + " would overwrite it as the piece FILE2.SPL\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(scratch.read("FILE2.SPL"), source);
    EXPECT_EQ(scratch.names(), before);
}

INSTANTIATE_TEST_SUITE_P(Names, SplitOntoItself, testing::Values("same name", "path", "hard link", "symbolic link"));

TEST(SplitFaults, SourceBeyondItsOwnPiecesIsSplitAsUsual)
{
    Scratch scratch;
    const std::string source = every_byte_value(1500);
    scratch.write("FILE7.SPL", source);
    ASSERT_EQ(scratch.run("1 FILE7.SPL 1").status, 0);
    EXPECT_EQ(scratch.read("FILE0.SPL") + scratch.read("FILE1.SPL"), source);
    EXPECT_EQ(scratch.read("FILE7.SPL"), source);
}

TEST(SplitFaults, PieceThatCannotBeCreatedIsReported)
{
    Scratch scratch;
    const std::string source = every_byte_value(3000);
    scratch.write("src", source);
    fs::create_directory(scratch.dir() / "FILE1.SPL");
    const Outcome run = scratch.run("1 src 1");
    EXPECT_EQ(run.out, split_dialogue() + text::progress("FILE0.SPL") + text::progress("FILE1.SPL")
                           + "Error Opening the file : FILE1.SPL");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(scratch.read("FILE0.SPL"), source.substr(0, 1024));
    EXPECT_FALSE(scratch.exists("FILE2.SPL"));
}

TEST(SplitFaults, FullDiskWhenAPieceIsClosed)
{
    // The piece fits the stream's buffer, so the failure shows only as it is
    // flushed on closing.
    Scratch scratch;
    scratch.write("src", every_byte_value(3000));
    Launch launch;
    launch.input = "1 src 1";
    launch.file_size_limit = 1000;
    const Outcome run = scratch.run(launch);
    EXPECT_EQ(run.out, split_dialogue() + text::progress("FILE0.SPL") + "Error Writing the file : FILE0.SPL\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(scratch.exists("FILE1.SPL"));
}

TEST(SplitFaults, FullDiskInTheMiddleOfAPiece)
{
    Scratch scratch;
    scratch.write("src", every_byte_value(300000));
    Launch launch;
    launch.input = "1 src 200";
    launch.file_size_limit = 150000;
    const Outcome run = scratch.run(launch);
    EXPECT_EQ(run.out, split_dialogue() + text::progress("FILE0.SPL") + "Error Writing the file : FILE0.SPL\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(scratch.exists("FILE1.SPL"));
}

}  // namespace
