#pragma once

#include <cstdint>
#include <string>

struct File;

// Opens the file to split; fails the program where it cannot.
void open_source(File& source, const std::string& name);

// Cuts `source`, from where it stands, into FILE0.SPL, FILE1.SPL, ... of
// `piece_size` bytes in the current folder, with their manifest, and where
// asked and there are two pieces or more, `recovery` recovery pieces; what
// it tells goes to report().
void split_file(File& source, std::int64_t piece_size, int recovery = 0);
