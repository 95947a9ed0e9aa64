#include "pieces/failure.h"

#include "pieces/files.h"

void fail(const std::string& message) { throw Failure{message}; }

// Kept without a newline, as users and scripts have always seen it.
void fail_opening(const std::string& name) { fail("Error Opening the file : " + name); }

void fail_reading(const std::string& name) { fail_reading(name, last_failure_reason()); }

void fail_reading(const std::string& name, const std::string& reason)
{
    fail("Error Reading the file : " + name + " (" + reason + ")\n");
}

void fail_writing(const std::string& name)
{
    fail("Error Writing the file : " + name + " (" + last_failure_reason() + ")\n");
}
