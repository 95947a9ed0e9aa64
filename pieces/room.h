#pragma once

#include "pieces/files.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"

#include <string>

// Refuses, before a byte is written, a split whose pieces its folder's file
// system cannot hold: one piece larger than a file there may be, or more
// bytes than are free, counting what overwriting the pieces here frees,
// holes that stay holes, and copies that share their bytes. Where the need
// cannot be known well enough, the split goes ahead.
void refuse_pieces_that_cannot_fit(const File& source, const Manifest& plan, const PiecesHere& here,
                                   const Room& room);

// The same for a join's output of the manifest's `run`, whose old file
// stands until the new one is whole.
void refuse_an_output_that_cannot_fit(const std::string& output_name, const Manifest& run, const Room& room);
