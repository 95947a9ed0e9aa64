#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"
#include "pieces/run_names.h"

#include <cstdint>
#include <string>
#include <vector>

// FILES.XXH128, beside the pieces: a line for each piece in the format that
// xxh128sum writes, so that `xxh128sum -c FILES.XXH128` checks them, after
// a line that it passes over, which holds what a join needs besides:
//   # zelk: big.dat, 5242880 bytes in 5 pieces of 1048576 bytes, whole <hex>
// A split that has not finished says ", unfinished" in place of the whole's
// checksum, and lists no piece. Its name, manifest_name, is in run_names.h.

// A run with recovery pieces says how many in its first line ("1 recovery
// piece, " or "3 recovery pieces, " before the whole's checksum), lists
// them after the pieces, and then the checksum of every block of every
// piece and recovery piece, in lines xxh128sum passes over:
//   # <hex>  FILE3.SPL block 17
// A run written before blocks were kept lists none: its block is a piece.
struct Manifest {
    std::string source;  // without its folders
    std::int64_t size = 0, piece_size = 0, count = 0;
    bool finished = false;
    int recovery = 0;
    Digest whole{};
    std::vector<Digest> pieces, recovery_pieces, blocks;

    std::int64_t piece_bytes(std::int64_t number) const;
    // The pieces, then the recovery pieces, as one row of files.
    std::int64_t files() const { return count + recovery; }
    std::string file_name(std::int64_t file) const;
    std::int64_t file_bytes(std::int64_t file) const;
    const Digest& file_digest(std::int64_t file) const;
    // The size of a block, the number of blocks of a file, and the
    // checksum of block `block` of file `file`.
    std::int64_t block_size() const;
    std::int64_t blocks_of(std::int64_t file) const;
    const Digest& block_digest(std::int64_t file, std::int64_t block) const;
    // Where block `file`'s block `block` stands in the list of blocks.
    std::int64_t block_index(std::int64_t file, std::int64_t block) const;
};

// The block size of a run of `count` pieces with `recovery` pieces: small
// enough that a row of blocks, one per recovery piece and one read, takes
// little memory; past 256 files, large enough that the manifest lists at
// most about 65,536 blocks.
std::int64_t block_size_for(std::int64_t piece_size, int recovery, std::int64_t count);

// Writes it all where `file` stands; false when a write failed.
bool write_manifest(File& file, const Manifest& manifest);

// Reads the manifest here. `absent` where there is none; `malformed` where
// it says nothing a split of this program writes.
enum class ManifestRead { absent, malformed, read };
ManifestRead read_manifest(Manifest& manifest);
