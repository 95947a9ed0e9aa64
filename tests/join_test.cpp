#include "zelk_process.h"

#include <gtest/gtest.h>

namespace {

std::string join_dialogue() { return text::banner + text::question + text::join_prompt + text::farewell; }

TEST(Join, TranscriptIsThePromptAndTheFarewell)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "abc");
    scratch.write("FILE1.SPL", "de");
    const Outcome run = scratch.run("2\ncopy.dat\n");
    EXPECT_EQ(run.out, join_dialogue());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.read("copy.dat"), "abcde");
}

struct Cut {
    std::size_t length;
    int kilobytes;
};

class RoundTrip : public testing::TestWithParam<Cut> {};

TEST_P(RoundTrip, SplitThenJoinGivesBackEveryByte)
{
    Scratch scratch;
    const std::string source = every_byte_value(GetParam().length);
    scratch.write("source.bin", source);
    ASSERT_EQ(scratch.run("1 source.bin " + std::to_string(GetParam().kilobytes)).status, 0);
    const Outcome run = scratch.run("2 joined.bin");
    EXPECT_EQ(run.out, join_dialogue());
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(scratch.read("joined.bin") == source) << "joined file differs";
}

INSTANTIATE_TEST_SUITE_P(Lengths, RoundTrip,
                         testing::Values(Cut{1, 1}, Cut{256, 1}, Cut{1023, 1}, Cut{1024, 1}, Cut{1025, 1},
                                         Cut{7 * 1024 + 13, 2}, Cut{64 * 1024, 8}, Cut{100003, 7},
                                         Cut{300001, 64}),
                         [](const testing::TestParamInfo<Cut>& cut) {
                             return std::to_string(cut.param.length) + "_bytes_in_"
                                 + std::to_string(cut.param.kilobytes) + "_KB";
                         });

TEST(Join, GapEndsTheRun)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    scratch.write("FILE1.SPL", "one");
    scratch.write("FILE3.SPL", "three");
    ASSERT_EQ(scratch.run("2 out").status, 0);
    EXPECT_EQ(scratch.read("out"), "zeroone");
}

TEST(Join, EmptyPieceAddsNothingAndTheRunGoesOn)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    scratch.write("FILE1.SPL", "");
    scratch.write("FILE2.SPL", "two");
    ASSERT_EQ(scratch.run("2 out").status, 0);
    EXPECT_EQ(scratch.read("out"), "zerotwo");
}

TEST(Join, NoFirstPieceTruncatesTheOutputToNothing)
{
    Scratch scratch;
    scratch.write("out", "old contents");
    scratch.write("FILE1.SPL", "one");
    const Outcome run = scratch.run("2 out");
    EXPECT_EQ(run.out, join_dialogue());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.read("out"), "");
}

TEST(Join, LeftoversOfALargerSplitContinueTheRun)
{
    Scratch scratch;
    scratch.write("big", every_byte_value(4000));
    ASSERT_EQ(scratch.run("1 big 1").status, 0);
    const std::string small = every_byte_value(1500);
    scratch.write("small", small);
    ASSERT_EQ(scratch.run("1 small 1").status, 0);
    ASSERT_EQ(scratch.run("2 out").status, 0);
    const std::string big = every_byte_value(4000);
    EXPECT_TRUE(scratch.read("out") == small + big.substr(2048)) << "leftovers FILE2.SPL and FILE3.SPL";
}

TEST(Join, OutputJustAfterTheRunIsNotReadAsAPiece)
{
    Scratch scratch;
    scratch.write("FILE0.SPL", "zero");
    scratch.write("FILE1.SPL", "one");
    const Outcome run = scratch.run("2 FILE2.SPL");
    EXPECT_EQ(run.out, join_dialogue());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.read("FILE2.SPL"), "zeroone");
}

}  // namespace
