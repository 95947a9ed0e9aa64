// What the status line and a size say, and that every copy tells it of every byte:
// a terminal shows too little of either to be sure of them end to end.
#include "console/status_line.h"
#include "pieces/data_copy.h"
#include "pieces/report.h"
#include "pieces/sizes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct Row {
    std::int64_t number, count, done, bytes;
    double speed;
    const char* text;
};

TEST(StatusText, SaysHowFarHowFastHowLong)
{
    const double mib = 1 << 20;
    const Row rows[] = {
        {2, 12, 1503238553, 4294967296, 82 * mib, "  FILE2.SPL (3 of 12): 1.4 of 4.0 GiB (34 %), 82 MiB/s, 32 s left"},
        {0, 1, 512 << 20, 1 << 30, 256 * mib, "  FILE2.SPL: 0.5 of 1.0 GiB (50 %), 256 MiB/s, 2 s left"},
        {0, 1, 100 << 20, 1023 << 20, 256 * mib, "  FILE2.SPL: 100.0 of 1023.0 MiB (9 %), 256 MiB/s, 4 s left"},
        {0, 2, 1023 << 20, 1 << 30, 0.5, "  FILE2.SPL (1 of 2): 1.0 of 1.0 GiB (99 %)"},
        {1, 2, 1536, 2048, 1, "  FILE2.SPL (2 of 2): 1.5 of 2.0 KiB (75 %), 0 MiB/s, 512 s left"},
        {0, 1, 1023, 1023, 2 * mib, "  FILE2.SPL: 1023 of 1023 bytes (100 %), 2 MiB/s, 0 s left"},
        {0, 1, 0, 0, 0, "  FILE2.SPL: 0 of 0 bytes"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(status_text("FILE2.SPL", row.number, row.count, row.done, row.bytes, row.speed), row.text);
}

// The sizes a run that cannot fit its disk is told in.
TEST(SizeText, TheLargestUnitNotMoreThanIt)
{
    const std::pair<std::int64_t, const char*> rows[] = {
        {0, "0 bytes"},          {1023, "1023 bytes"},         {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},       {20 << 20, "20.0 MiB"},       {(std::int64_t{1} << 30) - 1, "1024.0 MiB"},
        {std::int64_t{3} << 40, "3.0 TiB"}, {std::int64_t{1} << 50, "1024.0 TiB"},
    };
    for (const auto& [size, text] : rows)
        EXPECT_EQ(size_text(size), text) << size;
}

struct Counted : Report {
    void moved(std::int64_t bytes) override { total += bytes; }
    std::int64_t total = 0;
};

// Copies `name` whole into a new file beside `into` and returns what the
// copy told of it.
std::int64_t told(const std::string& name, const std::string& into)
{
    Counted counted;
    set_report(counted);
    File from, to;
    EXPECT_TRUE(open_for_reading(from, name));
    EXPECT_TRUE(open_for_writing(to, into, true));
    EXPECT_EQ(DataCopy(from).into(to, from.size + 1), from.size);
    std::remove(into.c_str());
    static Report silent;
    set_report(silent);
    return counted.total;
}

TEST(Progress, EveryCopyTellsOfEveryByte)
{
    const std::string here = testing::TempDir() + "zelk-progress", other = "/dev/shm/zelk-progress";
    const std::int64_t size = 3 * (1 << 20) + 5;
    std::ofstream(here, std::ios::binary) << std::string(size, 'x');
    std::ofstream(other, std::ios::binary) << std::string(size, 'y');
    EXPECT_EQ(told(here, here + ".copy"), size) << "the system's copy";
    EXPECT_EQ(told(other, here + ".copy"), size) << "the block copy, across file systems";
    std::ofstream(here + ".holes", std::ios::binary).seekp(size - 1) << 'z';
    EXPECT_EQ(told(here + ".holes", here + ".copy"), size) << "holes and data";
    for (const std::string& name : {here, other, here + ".holes"})
        std::remove(name.c_str());
}

} // namespace
