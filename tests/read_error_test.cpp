// A failing read of a regular file cannot be made to happen end to end.
#include "pieces/data_copy.h"
#include "pieces/failure.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace {

TEST(CopyData, FailedReadNamesTheSource)
{
    // Reading a folder fails, as a failing disk's reads do.
    File from, to;
    from.handle = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_TRUE(open_for_writing(to, "/dev/null", false));
    try {
        copy_data(from, "source.dat", to, "FILE0.SPL", 10);
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message, "Error Reading the file : source.dat (Is a directory)\n");
        return;
    }
    FAIL() << "no failure";
}

}  // namespace
