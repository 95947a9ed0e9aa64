#pragma once

#include <string>

// Writes into `output_name` the run of pieces in the current folder,
// FILE0.SPL on: those its manifest lists, each checked against it, or
// without one every piece up to the last, with no number missing. A file
// is replaced whole once all is in, or left as it was; what it tells goes
// to report().
void join_pieces(const std::string& output_name);
