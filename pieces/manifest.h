#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"

#include <cstdint>
#include <string>
#include <vector>

// FILES.XXH128, beside the pieces: a line for each piece in the format that
// xxh128sum writes, so that `xxh128sum -c FILES.XXH128` checks them, after
// a line that it passes over, which holds what a join needs besides:
//   # zelk: big.dat, 5242880 bytes in 5 pieces of 1048576 bytes, whole <hex>
// A split that has not finished says ", unfinished" in place of the whole's
// checksum, and lists no piece.
extern const std::string manifest_name;

// A run with a recovery piece says so in its first line, ", 1 recovery
// piece" before the whole's checksum, and lists it after the pieces.
struct Manifest {
    std::string source;  // without its folders
    std::int64_t size = 0, piece_size = 0, count = 0;
    bool finished = false, recovery = false;
    Digest whole{}, recovery_digest{};
    std::vector<Digest> pieces;

    std::int64_t piece_bytes(std::int64_t number) const;
};

// Writes it all where `file` stands; false when a write failed.
bool write_manifest(File& file, const Manifest& manifest);

// Reads the manifest here. `absent` where there is none; `malformed` where
// it says nothing a split of this program writes.
enum class ManifestRead { absent, malformed, read };
ManifestRead read_manifest(Manifest& manifest);
