#pragma once

#include "pieces/data_copy.h"
#include "pieces/files.h"
#include "pieces/manifest.h"

#include <cstdint>
#include <optional>

// What a checked copy found besides: a piece it rebuilt from the recovery
// piece, or a recovery piece it could not have used.
struct CheckedCopyNotes {
    std::optional<std::int64_t> rebuilt;
    bool rebuilt_was_missing = false;
    std::optional<bool> recovery_missing;  // set where the recovery piece is missing (true) or damaged
};

// Copies the manifest's run into `output`, where it stands, each piece
// checked against the manifest as it stands in `output` before a byte of
// the next is copied; then the whole. Where the manifest lists a recovery
// piece, one piece missing or damaged is rebuilt from it and the others;
// two are refused. Bytes land in `output` in the `ways` it takes.
CheckedCopyNotes copy_checked(File& output, const Manifest& manifest, CopyWays ways);
