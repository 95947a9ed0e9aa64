#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

// A name as the user gave it, in UTF-8, as the file system takes it.
std::filesystem::path file_path(const std::string& name);

// FILE0.SPL, FILE1.SPL, ... in the current directory.
std::string piece_file_name(std::int64_t number);

// Size of an open file; leaves it at offset 0, ready for reading.
std::optional<std::int64_t> measure_size(std::streambuf& file);

// Opens a regular file for binary reading and measures it; nothing when
// either cannot be done.
std::optional<std::int64_t> open_and_measure(std::filebuf& file, const std::string& name);

// Creates or truncates a file for binary writing.
bool open_for_writing(std::filebuf& file, const std::string& name);

// The number of the piece that is the very file `name` (same name, a path
// to it, or a link), among pieces 0 .. count-1; with stop_at_gap, only
// among the run before the first missing piece.
std::optional<std::int64_t> piece_that_is(const std::string& name, std::int64_t count, bool stop_at_gap);
