#pragma once

#include "pieces/files.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"

#include <string>
#include <vector>

// Refuses, before a byte is written, a split whose pieces its folder's file
// system cannot hold: one piece larger than a file there may be, more files
// than it has room for, or more bytes than are free, each piece in whole
// units of its room, counting what overwriting the pieces here frees, holes
// that stay holes, and copies that share their bytes. Where the need cannot
// be known well enough, the split goes ahead.
void refuse_pieces_that_cannot_fit(const File& source, const Manifest& plan, const PiecesHere& here,
                                   const Room& room);

// The same for a join's output of pieces of `sizes` (the manifest's, or as
// they stand where there is none), whose old file stands until the new one
// is whole. A piece not there at its size counts in full, and so may as
// many others as there are `recovery` pieces to rebuild them.
void refuse_an_output_that_cannot_fit(const std::string& output_name, const std::vector<std::int64_t>& sizes,
                                      int recovery, const Room& room);
