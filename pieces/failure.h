#pragma once

#include <string>

// A failure that ends the program with status 1 and no farewell; the
// message is printed exactly as it stands. Reading and writing failures
// carry the system's reason for the call that just failed.
// After an interruption's message, the program ends as that signal ends it.
struct Failure {
    std::string message;
    int signal = 0;
};

[[noreturn]] void fail(const std::string& message);
[[noreturn]] void fail_opening(const std::string& name);
[[noreturn]] void fail_reading(const std::string& name);
[[noreturn]] void fail_reading(const std::string& name, const std::string& reason);
[[noreturn]] void fail_writing(const std::string& name);
