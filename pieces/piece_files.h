#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// FILE0.SPL, FILE1.SPL, ... in the current directory.
std::string piece_file_name(std::int64_t number);

// "FILE3.SPL", or "FILE3.SPL to FILE9.SPL".
std::string piece_range(std::int64_t first, std::int64_t last);

// The number of a piece's name: FILE<n>.SPL, n in plain decimal, matched
// as the file system matches names.
std::optional<std::int64_t> piece_number_of(const std::string& name);

// A piece in the current folder, with what the listing tells of its file;
// 24 bytes, as a folder may hold a million of them.
struct PieceHere {
    std::int64_t number;
    std::uint64_t told_file_number;
    bool file_number_told;
    std::optional<bool> link;
    std::optional<std::uint64_t> file_number() const
    {
        return file_number_told ? std::optional(told_file_number) : std::nullopt;
    }
};

// The pieces in the current folder, in order, read at once; nothing when
// the folder cannot be read.
std::optional<std::vector<PieceHere>> pieces_here();

// Holds the current folder against other splits and joins until `lock`
// closes; fails the program when another holds it.
struct File;
void lock_this_folder(File& lock);
