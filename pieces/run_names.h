#pragma once

#include <cstdint>
#include <string>

// The names of a run's files, one place for all: its pieces FILE0.SPL,
// FILE1.SPL, ...; its manifest FILES.XXH128; its recovery pieces FILES.REV,
// FILES2.REV, FILES3.REV, ... No name of one kind is a name of another.
extern const std::string manifest_name;
extern const std::string recovery_name;
std::string piece_file_name(std::int64_t number);
std::string recovery_file_name(int index);

// "FILE3.SPL", or "FILE3.SPL to FILE9.SPL".
std::string piece_range(std::int64_t first, std::int64_t last);

// "piece ", "manifest " or "recovery piece ": what a file of a run is.
std::string run_file_kind(const std::string& name);
