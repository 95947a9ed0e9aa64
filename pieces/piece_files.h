#pragma once

#include <cstdint>
#include <string>

// FILE0.SPL, FILE1.SPL, ... in the current directory.
std::string piece_file_name(std::int64_t number);
