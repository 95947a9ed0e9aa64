#include "console/answers.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string rest_of(std::istream& in)
{
    std::ostringstream rest;
    rest << in.rdbuf();
    return rest.str();
}

TEST(ReadNumber, TakesOnlyItsOwnTokenAfterWhiteSpace)
{
    std::istringstream in(" \t\n\n  -42 big.dat 64\n");
    const NumberAnswer answer = read_number(in);
    EXPECT_EQ(answer.text, "-42");
    EXPECT_EQ(answer.value, -42);
    EXPECT_EQ(rest_of(in), " big.dat 64\n");
}

TEST(ReadNumber, StopsAtTheFirstNonDigitLikeAScanf)
{
    std::istringstream in("12abc");
    EXPECT_EQ(read_number(in).value, 12);
    EXPECT_EQ(rest_of(in), "abc");
}

TEST(ReadNumber, SignsAndLimits)
{
    for (const auto& [typed, value] : std::vector<std::pair<std::string, std::optional<std::int32_t>>>{
             {"+7", 7}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}, {"0007", 7},
             {"2147483648", std::nullopt}, {"-2147483649", std::nullopt}, {"4294967297", std::nullopt},
             {"+", std::nullopt}, {"-", std::nullopt}, {"+-1", std::nullopt}}) {
        std::istringstream in(typed);
        const NumberAnswer answer = read_number(in);
        EXPECT_EQ(answer.value, value) << typed;
        EXPECT_EQ(answer.text, typed) << typed;
    }
}

TEST(ReadNumber, LettersAreNamedButGiveNoValue)
{
    std::istringstream in("abc def");
    const NumberAnswer answer = read_number(in);
    EXPECT_EQ(answer.text, "abc");
    EXPECT_FALSE(answer.value);
    EXPECT_EQ(rest_of(in), " def");
}

TEST(ReadNumber, EndOfInputGivesEmptyText)
{
    std::istringstream in(" \n\t ");
    const NumberAnswer answer = read_number(in);
    EXPECT_EQ(answer.text, "");
    EXPECT_FALSE(answer.value);
}

TEST(ReadWord, ReadsWordsOfAnyLengthOneAtATime)
{
    const std::string long_name(10000, 'a');
    std::istringstream in("\n  " + long_name + "\tsecond\r\nthird");
    EXPECT_EQ(read_word(in), long_name);
    EXPECT_EQ(read_word(in), "second");
    EXPECT_EQ(read_word(in), "third");
    EXPECT_EQ(read_word(in), std::nullopt);
}

}  // namespace
