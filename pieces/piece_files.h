#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pieces/files.h"
#include "pieces/run_names.h"

// The pieces FILE0.SPL, FILE1.SPL, ... in the current directory: how many
// a file makes, what the folder holds of them.

// The largest piece: 2147483647 KB, the most a 32-bit answer counts.
constexpr std::int64_t most_piece_kilobytes = 2147483647;

// How many pieces of `piece_size` bytes a file of `size` bytes makes.
std::int64_t piece_count(std::int64_t size, std::int64_t piece_size);

// "A", "A and B", "A, B and C".
std::string listed(const std::vector<std::string>& names);

// The number of a piece's name: FILE<n>.SPL, n in plain decimal, matched
// as the file system matches names.
std::optional<std::int64_t> piece_number_of(const std::string& name);

// A piece in the current folder, with what the listing tells of its file;
// 24 bytes, as a folder may hold a million of them.
struct PieceHere {
    std::int64_t number;
    std::uint64_t told_file_number;
    bool file_number_told;
    std::optional<NameInfo::Kind> kind;  // links not followed
    std::optional<std::uint64_t> file_number() const
    {
        return file_number_told ? std::optional(told_file_number) : std::nullopt;
    }
};

// The pieces in the current folder, in order, read at once; nothing when
// the folder cannot be read.
using PiecesHere = std::optional<std::vector<PieceHere>>;
PiecesHere pieces_here();

// The first and last of the pieces here numbered `count` or more, past a
// run of `count`; nothing where there are none.
struct PieceSpan {
    std::int64_t first, last;
};
std::optional<PieceSpan> pieces_past(const std::vector<PieceHere>& here, std::int64_t count);

// The name of the file among a run's `count` pieces, its manifest and its
// recovery piece where it has one, that
// is the file `id`, links followed, where one is: a split must not write
// over its source, nor a join over its run. The listing `here` spares
// asking of the names whose file it tells.
std::optional<std::string> run_file_that_is(const FileId& id, std::int64_t count, const PiecesHere& here,
                                            int recovery);

