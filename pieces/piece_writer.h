#pragma once

#include "pieces/checksum.h"
#include "pieces/data_copy.h"
#include "pieces/files.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A split's files written in place: its pieces, and its manifest put in
// place whole. A failure ends the program naming the file.

// Ends the program: the source is the piece or manifest `name`.
[[noreturn]] void fail_overwriting(const File& source, const std::string& name);

// The manifest as it stands, put in place of the one here whole.
void put_manifest(const Manifest& manifest);

// The pieces a split writes, in turn, each checked and closed before the next.
class PieceWriter {
public:
    PieceWriter(File& source, Manifest& manifest, const PiecesHere& here, CopyWays ways)
        : source_(source), manifest_(manifest), here_(here), holes_kept_(ways.holes_kept), copy_(source, &sums_, ways)
    {
    }

    void write(std::int64_t number);
    Digest whole() { return sums_.whole(); }
    // A piece opened to be written from its start, and closed written whole.
    void open(File& piece, std::int64_t number);
    void close(File& piece, std::int64_t number);

private:
    // Whether the listing shows no piece of that number here.
    bool free(std::int64_t number);

    File& source_;
    Manifest& manifest_;
    const PiecesHere& here_;
    bool holes_kept_;
    Checksums sums_;
    DataCopy copy_;
    std::size_t listed_ = 0;  // the listing's first piece not below the one written
};
