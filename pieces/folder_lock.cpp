#include "pieces/folder_lock.h"

#include "pieces/failure.h"
#include "pieces/files.h"

void lock_this_folder(File& lock)
{
    const Lock taken = lock_folder(lock);
    if (taken == Lock::busy)
        fail("Error : another split or join is running in this folder\n");
    if (taken == Lock::failed)
        fail("Error : this folder cannot be locked against other splits and joins (" + last_failure_reason() + ")\n");
}
