#include "zelk_process.h"

#include <gtest/gtest.h>

namespace {

std::string split_dialogue() { return text::banner + text::question + text::split_name_prompt + text::split_size_prompt; }

TEST(Split, ExactMultipleMakesNoEmptyLastPiece)
{
    Scratch scratch;
    const std::string source = every_byte_value(2 * 1024);
    scratch.write("big.dat", source);
    const Outcome run = scratch.run("1 big.dat 1");
    EXPECT_EQ(run.out, split_dialogue() + text::progress("FILE0.SPL") + text::progress("FILE1.SPL") + text::farewell);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.read("FILE0.SPL") + scratch.read("FILE1.SPL"), source);
    EXPECT_FALSE(scratch.exists("FILE2.SPL"));
}

TEST(Split, SmallSourceIsOnePiece)
{
    Scratch scratch;
    const std::string source = every_byte_value(100);
    scratch.write("small", source);
    const Outcome run = scratch.run("1 small 1");
    EXPECT_EQ(run.out, split_dialogue() + text::progress("FILE0.SPL") + text::farewell);
    EXPECT_EQ(scratch.read("FILE0.SPL"), source);
}

TEST(Split, EmptySourceWritesNoPiece)
{
    Scratch scratch;
    scratch.write("empty", "");
    const Outcome run = scratch.run("1 empty 4");
    EXPECT_EQ(run.out, split_dialogue() + text::farewell);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.names(), std::vector<std::string>{"empty"});
}

TEST(Split, PieceSizeIsInKilobytes)
{
    Scratch scratch;
    const std::string source = every_byte_value(10 * 1024 + 1);
    scratch.write("src", source);
    ASSERT_EQ(scratch.run("1 src 3").status, 0);
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"FILE0.SPL", "FILE1.SPL", "FILE2.SPL", "FILE3.SPL", "src"}));
    EXPECT_EQ(scratch.read("FILE3.SPL"), source.substr(3 * 3072));
}

TEST(Split, NumbersPiecesInPlainDecimal)
{
    Scratch scratch;
    scratch.write("src", every_byte_value(12 * 1024 + 7));
    const Outcome run = scratch.run("1 src 1");
    EXPECT_NE(run.out.find(text::progress("FILE9.SPL") + text::progress("FILE10.SPL")
                           + text::progress("FILE11.SPL") + text::progress("FILE12.SPL") + text::farewell),
              std::string::npos);
    EXPECT_EQ(scratch.read("FILE12.SPL").size(), 7u);
}

TEST(Split, OverwritesOldPiecesAndLeavesHigherLeftovers)
{
    Scratch scratch;
    const std::string source = every_byte_value(1500);
    scratch.write("src", source);
    scratch.write("FILE0.SPL", std::string(5000, 'o'));
    scratch.write("FILE1.SPL", "old");
    scratch.write("FILE2.SPL", "leftover");
    ASSERT_EQ(scratch.run("1 src 1").status, 0);
    EXPECT_EQ(scratch.read("FILE0.SPL"), source.substr(0, 1024));
    EXPECT_EQ(scratch.read("FILE1.SPL"), source.substr(1024));
    EXPECT_EQ(scratch.read("FILE2.SPL"), "leftover");
}

TEST(Split, PieceSizesOfTwoGigabytesAndMoreDoNotOverflow)
{
    for (const char* kilobytes : {"2097152", "4194304", "2147483647"}) {
        Scratch scratch;
        const std::string source = every_byte_value(5000);
        scratch.write("src", source);
        const Outcome run = scratch.run(std::string("1 src ") + kilobytes);
        EXPECT_EQ(run.out, split_dialogue() + text::progress("FILE0.SPL") + text::farewell) << kilobytes;
        EXPECT_EQ(scratch.read("FILE0.SPL"), source) << kilobytes;
    }
}

TEST(Split, LongSourceNameIsReadWhole)
{
    Scratch scratch;
    const std::string name(200, 'n');
    scratch.write(name, "abc");
    const Outcome run = scratch.run("1 " + name + " 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.read("FILE0.SPL"), "abc");
}

}  // namespace
