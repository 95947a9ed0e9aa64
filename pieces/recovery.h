#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"

#include <cstdint>
#include <string>
#include <vector>

// FILES.REV, beside the pieces: at every offset, the XOR of all the pieces
// there, a shorter piece counting as zeros past its end. From it and all
// the pieces but one, that one's bytes come back.
extern const std::string recovery_name;

// Writes into `out`, where it stands, bytes [0, length) of the XOR of the
// files named `names` (each the length of its piece, `sizes`; zeros past
// it), telling `sums` of them; with no `out`, only tells `sums`. A file that
// cannot be read fails the program with its name; an interruption stops it
// between two blocks.
void write_xor(const std::vector<std::string>& names, const std::vector<std::int64_t>& sizes, File* out,
               std::int64_t length, Checksums& sums);
