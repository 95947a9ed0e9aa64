#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// An XXH3-128 checksum as xxh128sum writes it: 32 hexadecimal digits.
using Digest = std::array<unsigned char, 16>;
std::string hex_of(const Digest& digest);

// The checksum of `count` bytes, at once.
Digest checksum_of(const void* bytes, std::int64_t count);

// How many ways of taking checksums this processor has (the library's as
// built, then wider ones), and a choice of one, for the tests that hold
// each; the widest is used unless one is chosen.
std::size_t checksum_levels_here();
void use_checksum_level(std::size_t level);

// The checksums of each piece and of the whole, taken from the very bytes
// the copy writes, as they pass through the program.
class Checksums {
public:
    // One file checked alone keeps no whole: hashing the bytes twice would
    // cost it nearly twice as much.
    enum Kind { pieces_and_whole, one_file };
    explicit Checksums(Kind kind = pieces_and_whole);
    ~Checksums();
    Checksums(const Checksums&) = delete;
    Checksums& operator=(const Checksums&) = delete;

    void took(const char* bytes, std::int64_t count);
    // A hole: so many zero bytes. An interruption stops it between blocks,
    // however large the hole.
    void zeros(std::int64_t count);
    // The piece's checksum; the next piece starts.
    Digest piece_done();
    // After piece_done: that piece is taken again from its start, as
    // though nothing had been told of it.
    void piece_again();
    Digest whole();
    // A block's own checksum besides, from block_start to block_done; or,
    // by block_again, the piece and the whole as they were at its start,
    // as though nothing had been told of it.
    void block_start();
    Digest block_done();
    void block_again();

private:
    struct States;
    std::unique_ptr<States> states_;
};
