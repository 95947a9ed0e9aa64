#pragma once

#include <string>

// A failure that ends the program with status 1 and no farewell; the
// message is printed exactly as it stands. Reading and writing failures
// carry the system's reason for the call that just failed.
struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string& message);
[[noreturn]] void fail_opening(const std::string& name);
[[noreturn]] void fail_reading(const std::string& name);
[[noreturn]] void fail_writing(const std::string& name);
