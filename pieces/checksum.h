#pragma once

#include "pieces/files.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// An XXH3-128 checksum as xxh128sum writes it: 32 hexadecimal digits.
using Digest = std::array<unsigned char, 16>;
std::string hex_of(const Digest& digest);

// The checksums of each piece and of the whole, taken as the copy moves the
// bytes. Bytes the system wrote without the program are read back where
// they were written, from the cache, in a second thread while the copy goes
// on; a long copy costs little more than the copy itself.
class Checksums {
public:
    // One file checked alone keeps no whole: hashing the bytes twice would
    // cost it nearly twice as much.
    enum Kind { pieces_and_whole, one_file };
    explicit Checksums(Kind kind = pieces_and_whole);
    ~Checksums();
    // Bytes that passed through the program.
    void took(const char* bytes, std::int64_t count);
    // Bytes [offset, offset + count) of `to`, which the system wrote there;
    // `to` must stay open until piece_done.
    void moved(File& to, std::int64_t offset, std::int64_t count);
    // A hole: so many zero bytes.
    void zeros(std::int64_t count);
    // The piece's checksum, once all it was told is taken; the next piece
    // starts. Nothing when a file could not be read back, for `why`.
    std::optional<Digest> piece_done();
    // After piece_done: that piece is taken again from its start, as
    // though nothing had been told of it.
    void piece_again();
    Digest whole();
    std::string why() const;
    // Drops what is not yet read back and waits for what is being read, so
    // that a file it was told of may close: a failure or an interruption
    // leaves the copy with stretches still to read. The checksums are then
    // unfinished.
    void let_go();

private:
    struct Work;
    std::unique_ptr<Work> work_;
};

// Declared after a file that `sums` is told of, lets it go of that file
// before the file closes, however the scope is left.
class LetGo {
public:
    explicit LetGo(Checksums& sums) : sums_(sums) {}
    ~LetGo() { sums_.let_go(); }
    LetGo(const LetGo&) = delete;
    LetGo& operator=(const LetGo&) = delete;

private:
    Checksums& sums_;
};
