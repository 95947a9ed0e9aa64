#pragma once

#include <cstdint>
#include <streambuf>
#include <string>

// Copies at most `limit` bytes, one at a time, and returns how many there
// were before the end of `from`. A failed read or write ends the program
// with a message naming the file.
std::int64_t copy_bytes(std::streambuf& from, const std::string& from_name,
                        std::streambuf& to, const std::string& to_name, std::int64_t limit);
