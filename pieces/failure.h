#pragma once

#include <stdexcept>
#include <string>

// A failure that ends the program with status 1 and no farewell; the
// message is printed exactly as it stands.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& message);
[[noreturn]] void fail_opening(const std::string& name);
[[noreturn]] void fail_reading(const std::string& name);
[[noreturn]] void fail_writing(const std::string& name);
