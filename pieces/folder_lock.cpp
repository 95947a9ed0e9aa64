#include "pieces/folder_lock.h"

#include "pieces/failure.h"
#include "pieces/files.h"

namespace {

[[noreturn]] void fail_busy(const std::string& where)
{
    fail("Error : another split or join is running in " + where + "\n");
}

} // namespace

void lock_this_folder(File& lock)
{
    const Lock taken = lock_folder(lock);
    if (taken == Lock::busy)
        fail_busy("this folder");
    if (taken == Lock::failed)
        fail("Error : this folder cannot be locked against other splits and joins (" + last_failure_reason() + ")\n");
}

// A folder that cannot be locked (nor written) is left to the output's own
// creation to report.
void lock_output_folder(File& lock, const std::string& folder, const std::string& told)
{
    const auto id = identity_of(folder);
    if (id && !(id == identity_of(".")) && lock_folder(lock, folder) == Lock::busy)
        fail_busy("the folder of " + told);
}
