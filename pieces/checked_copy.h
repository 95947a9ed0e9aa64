#pragma once

#include "pieces/data_copy.h"
#include "pieces/files.h"
#include "pieces/manifest.h"
#include "pieces/report.h"

#include <cstdint>
#include <string>
#include <vector>

// What a checked copy found besides: the pieces it rebuilt or repaired
// from recovery pieces (so many of their blocks, from those recovery
// pieces), and, where none needed them, the recovery pieces it could not
// have used.
struct Repair {
    std::string piece;
    bool missing = false;
    std::int64_t blocks = 0, of = 0;
    std::vector<std::string> from;
};
struct Unusable {
    std::string name;
    Report::Unusable why;
};
struct CheckedCopyNotes {
    std::vector<Repair> repairs;
    std::vector<Unusable> unusable;
};

// Copies the manifest's run into `output`, where it stands, each piece
// checked against the manifest before a byte of the next is copied; then
// the whole. Where the manifest lists recovery pieces, every block of a
// piece that is missing or damaged is rebuilt from them and the other
// pieces, while in its row no more blocks are bad than there are whole
// recovery blocks; a run past that is refused. Bytes land in `output` in
// the `ways` it takes.
CheckedCopyNotes copy_checked(File& output, const Manifest& manifest, CopyWays ways);
