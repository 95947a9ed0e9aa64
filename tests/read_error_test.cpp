// A failing read of a regular file cannot be made to happen end to end.
#include "pieces/byte_copy.h"
#include "pieces/failure.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

// Reads throw, as a file buffer's do when the disk fails.
struct FailingRead : std::streambuf {
    int_type underflow() override { throw std::ios_base::failure("read error"); }
};

TEST(CopyBytes, FailedReadNamesTheSource)
{
    FailingRead from;
    std::stringbuf to;
    try {
        copy_bytes(from, "source.dat", to, "FILE0.SPL", 10);
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message, "Error Reading the file : source.dat\n");
        return;
    }
    FAIL() << "no failure";
}

}  // namespace
