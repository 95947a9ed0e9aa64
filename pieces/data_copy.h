#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"

#include <cstdint>
#include <string>

// Copies at most `limit` bytes from where `from` stands to where `to` stands
// and returns how many there were before the end of `from`, telling `sums`
// of them where given. A failed read or write ends the program with a
// message naming that file; an interruption stops it between two stretches.
std::int64_t copy_data(File& from, const std::string& from_name, File& to, const std::string& to_name,
                       std::int64_t limit, Checksums* sums = nullptr);
