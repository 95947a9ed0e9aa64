#include "zelk_process.h"

#include <gtest/gtest.h>

namespace {

TEST(Menu, TypicalSplitTranscriptByteForByte)
{
    Scratch scratch;
    const std::string source = every_byte_value(2 * 1024 + 452);
    scratch.write("big.dat", source);

    const Outcome run = scratch.run("1\nbig.dat\n1\n");

    EXPECT_EQ(run.out, text::banner + text::question + text::split_name_prompt + text::split_size_prompt
                           + text::progress("FILE0.SPL") + text::progress("FILE1.SPL")
                           + text::progress("FILE2.SPL") + text::farewell);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.read("FILE0.SPL"), source.substr(0, 1024));
    EXPECT_EQ(scratch.read("FILE1.SPL"), source.substr(1024, 1024));
    EXPECT_EQ(scratch.read("FILE2.SPL"), source.substr(2048));
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"FILE0.SPL", "FILE1.SPL", "FILE2.SPL", "big.dat"}));
}

TEST(Menu, CreditLineIsBoxedLikeTheRest)
{
    const std::string credit = "\t*            by the zelk developers            *\n";
    ASSERT_NE(text::banner.find(credit), std::string::npos);
    EXPECT_EQ(credit.size(), 1 + 1 + 46 + 1 + 1u);
}

TEST(Menu, AnswersAreTokensSoOneLineCanHoldThemAll)
{
    Scratch scratch;
    scratch.write("big.dat", every_byte_value(3000));
    const Outcome run = scratch.run("\n\n   \t 1 big.dat 2");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, text::banner + text::question + text::split_name_prompt + text::split_size_prompt
                           + text::progress("FILE0.SPL") + text::progress("FILE1.SPL") + text::farewell);
    EXPECT_EQ(scratch.read("FILE1.SPL").size(), 3000u - 2048u);
}

// Every answer but 1 and 2 shows the help page; none may wrap around to 1 or 2.
class MenuOtherAnswers : public testing::TestWithParam<const char*> {};

TEST_P(MenuOtherAnswers, ShowTheHelpPageThenTheFarewell)
{
    Scratch scratch;
    scratch.write("big.dat", "data");
    const Outcome run = scratch.run(std::string(GetParam()) + "\nbig.dat\n1\n");
    EXPECT_EQ(run.out, text::banner + text::question + text::help_page + text::farewell);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scratch.names(), std::vector<std::string>{"big.dat"});
}

INSTANTIATE_TEST_SUITE_P(Answers, MenuOtherAnswers,
                         testing::Values("3", "0", "4", "99", "-1", "+3", "abc", "x1", "4294967297",
                                         "4294967298", "-4294967295", "99999999999999999999", "", "+",
                                         "-"),
                         [](const testing::TestParamInfo<const char*>& answer) {
                             return "answer_" + std::to_string(answer.index);
                         });

TEST(Menu, NoStandardInputAtAllShowsTheHelpPage)
{
    Scratch scratch;
    const Outcome run = scratch.run(Launch{});
    EXPECT_EQ(run.out, text::banner + text::question + text::help_page + text::farewell);
    EXPECT_EQ(run.status, 0);
}

}  // namespace
