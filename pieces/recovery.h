#pragma once

#include "pieces/files.h"
#include "pieces/manifest.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// FILES.REV, FILES2.REV, FILES3.REV, ... beside the pieces: recovery piece
// `index` holds, at every offset, row `index` of the erasure code over all
// the pieces there (erasure.h), a shorter piece counting as zeros past its
// end. FILES.REV, the first, is their XOR. Their names are in run_names.h.

// Writes the manifest's recovery pieces into `outs`, where they stand, from
// its pieces as they stand, a row of blocks at a time; lists their
// checksums, and every block's of the pieces and of themselves, in the
// manifest. A file that cannot be read fails the program with its name;
// an interruption stops it between two rows. Its buffers take at most
// about `memory`: a block that does not fit is taken a stretch at a time.
void write_recovery_pieces(Manifest& manifest, std::vector<File>& outs, std::int64_t memory = 16 << 20);

// Bytes [at, at + length) of the pieces `lost` (the first `wanted` of
// them), rebuilt from the recovery pieces `rows` (as many as lost) and
// every other piece, handed to `take` a stretch at a time with the index
// in `lost` of the piece they are of. A piece's bytes past its end are
// not handed.
using Take = std::function<void(std::size_t lost, std::int64_t offset, const unsigned char* bytes, std::int64_t count)>;
void rebuild_bytes(const Manifest& manifest, const std::vector<std::int64_t>& lost, const std::vector<int>& rows,
                   std::size_t wanted, std::int64_t at, std::int64_t length, const Take& take);
