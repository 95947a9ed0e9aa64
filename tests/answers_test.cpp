// The answers' parsers, each row an answer and what it reads as.
#include "console/answers.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace {

TEST(Kilobytes, OfEachAnswer)
{
    const std::pair<const char*, std::int64_t> rows[] = {
        {"1", 1}, {"+64", 64}, {"2K", 2}, {"3kb", 3}, {"4KiB", 4}, {"1M", 1024}, {"2mib", 2048},
        {"4g", 4 << 20}, {"1TB", 1 << 30}, {"2147483647", 2147483647}, {"1KS", 0}, {"1KB+", 0},
        {"0", 0}, {"-5", 0}, {"+-5", 0}, {"2T", 0}, {"2147483648", 0}, {"1.5", 0}, {"1e3", 0},
        {"0x10", 0}, {"M", 0}, {"1KK", 0}, {"64B", 0}, {"", 0},
    };
    for (const auto& [answer, kilobytes] : rows)
        EXPECT_EQ(kilobytes_of(answer).value_or(0), kilobytes) << answer;
}

// The size and how many recovery pieces (a share: N%), or -1 for an
// invalid answer.
TEST(SizeAnswer, OfEachAnswer)
{
    const std::tuple<const char*, std::int64_t, int, bool> rows[] = {
        {"64", 64, 0, false},     {"+64", 64, 0, false},    {"1+0", 1, 0, false},      {"1+1", 1, 1, false},
        {"100M+2", 102400, 2, false}, {"4g+3", 4 << 20, 3, false}, {"1440+4", 1440, 4, false},
        {"1+255", 1, 255, false}, {"1+256", 1, 256, false}, {"1+65535", 1, 65535, false}, {"1+65536", 0, -1, false},
        {"25M+5%", 25600, 5, true}, {"1+0%", 1, 0, true},  {"1+100%", 1, 100, true},  {"1+101%", 0, -1, false},
        {"1+2.5%", 0, -1, false}, {"1+%", 0, -1, false},   {"1+5%%", 0, -1, false},   {"1+05%", 0, -1, false},
        {"1+x", 0, -1, false},    {"1++2", 0, -1, false},  {"1+-1", 0, -1, false},    {"1+01", 0, -1, false},
        {"1+", 0, -1, false},     {"0+1", 0, -1, false},
    };
    for (const auto& [answer, kilobytes, recovery, percent] : rows) {
        const auto read = size_answer_of(answer);
        EXPECT_EQ(read ? read->kilobytes : 0, kilobytes) << answer;
        EXPECT_EQ(read ? read->recovery : -1, recovery) << answer;
        EXPECT_EQ(read && read->percent, percent) << answer;
    }
}

// A share of the pieces, rounded up, at least one.
TEST(SizeAnswer, RecoveryForAShare)
{
    const std::tuple<int, bool, std::int64_t, int> rows[] = {
        {2, false, 1000, 2}, {1, true, 1024, 11}, {5, true, 2000, 100}, {5, true, 3, 1},
        {0, true, 1000, 0},  {100, true, 7, 7},   {1, true, 65535, 656},
    };
    for (const auto& [recovery, percent, pieces, expected] : rows)
        EXPECT_EQ(recovery_for({1, recovery, percent}, pieces), expected) << recovery << (percent ? "%" : "") << " of " << pieces;
}

TEST(Number, OfEachAnswer)
{
    const std::pair<const char*, std::int32_t> rows[] = {
        {"1", 1}, {"  \n\t 2", 2}, {"+3", 3}, {"-1", -1}, {"2147483647", 2147483647},
        {"4294967297", 0}, {"x1", 0}, {"+", 0}, {"", 0}, {"7abc", 7},
    };
    for (const auto& [answer, number] : rows) {
        std::istringstream in(answer);
        EXPECT_EQ(read_number(in).value_or(0), number) << answer;
    }
}

} // namespace
