#pragma once

#include "pieces/files.h"

#include <cstdint>
#include <string>

// Copies at most `limit` bytes from where `from` stands to where `to` stands
// and returns how many there were before the end of `from`. A failed read or
// write ends the program with a message naming that file.
std::int64_t copy_data(File& from, const std::string& from_name, File& to, const std::string& to_name,
                       std::int64_t limit);
