#include "pieces/byte_copy.h"
#include "pieces/failure.h"
#include "pieces/piece_files.h"

#include <gtest/gtest.h>
#include <ios>
#include <sstream>

namespace {

TEST(PieceFileName, PlainDecimalFromZero)
{
    EXPECT_EQ(piece_file_name(0), "FILE0.SPL");
    EXPECT_EQ(piece_file_name(12), "FILE12.SPL");
    EXPECT_EQ(piece_file_name(5000000000), "FILE5000000000.SPL");
}

TEST(MeasureSize, LeavesTheStreamAtTheStart)
{
    std::stringbuf file("hello, world");
    file.pubseekoff(5, std::ios_base::beg, std::ios_base::in);
    EXPECT_EQ(measure_size(file), 12);
    EXPECT_EQ(file.sgetc(), 'h');
}

TEST(CopyBytes, StopsAtTheLimitOrAtTheEnd)
{
    std::stringbuf from(std::string("abcdef\0\r\n\x1a", 10));
    std::stringbuf to;
    EXPECT_EQ(copy_bytes(from, "from", to, "to", 4), 4);
    EXPECT_EQ(to.str(), "abcd");
    EXPECT_EQ(copy_bytes(from, "from", to, "to", 100), 6);
    EXPECT_EQ(to.str(), std::string("abcdef\0\r\n\x1a", 10));
}

// A stream that breaks: reads throw as a file buffer's do, writes refuse.
struct BrokenBuffer : std::streambuf {
    int_type underflow() override { throw std::ios_base::failure("read error"); }
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(CopyBytes, FailedReadNamesTheSource)
{
    BrokenBuffer from;
    std::stringbuf to;
    try {
        copy_bytes(from, "source.dat", to, "FILE0.SPL", 10);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "Error Reading the file : source.dat\n");
    }
}

TEST(CopyBytes, FailedWriteNamesTheTarget)
{
    std::stringbuf from("abc");
    BrokenBuffer to;
    try {
        copy_bytes(from, "source.dat", to, "FILE0.SPL", 10);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "Error Writing the file : FILE0.SPL\n");
    }
}

}  // namespace
