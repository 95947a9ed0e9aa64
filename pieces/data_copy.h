#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"

#include <cstdint>
#include <memory>
#include <vector>

// How bytes may land: holes in `from` copied as holes where `holes_kept`
// (some file systems, FAT, have none, and write them out as zeros); and
// where `shared`, the file system shares the bytes between the two files
// (reflink) without moving them, and they are checksummed where they are
// read, in `from`, which must not change meanwhile.
struct CopyWays {
    bool holes_kept = true, shared = false;
};

// The ways a byte can take from one file into another, chosen in one place
// (DataCopy::way) for the split and the join alike:
// - buffered: read into a 128 KiB buffer, checksummed there, written from it;
// - read_ahead: the same, out of a 1 MiB stretch read ahead, for many small
//   pieces of one source;
// - shared_then_read: shared by the file system (reflink), then read once
//   in `from` to be checksummed;
// - around_holes: only the data of a file with holes, each by one of the
//   ways above, each hole left a hole;
// - checksum_only: read and checksummed, written nowhere (a join's dry run
//   before an output that cannot take bytes back).
enum class Way : char { buffered, read_ahead, shared_then_read, around_holes, checksum_only };

// How a copy from `from` into a file on a disk goes, whatever its size:
// around holes, shared, or buffered. The split by rows takes only the last.
Way disk_way(const File& from, CopyWays ways);

// Copies from one file into others, one call at a time: at most `limit`
// bytes from where `from` stands to where `to` stands, returning how many
// there were before the end of `from` and telling `sums` of them where
// given. Each byte is read into a small buffer, checksummed there and
// written from it, once: what `sums` vouches for is what `to` was given.
// A failed read or write ends the program with a message naming that file;
// an interruption stops it between two stretches. What a copy learns of
// `from` (bytes read ahead for the next one) serves those that follow.
class DataCopy {
public:
    explicit DataCopy(File& from, Checksums* sums = nullptr, CopyWays ways = {})
        : from_(from), sums_(sums), holes_kept_(ways.holes_kept), shared_(ways.shared)
    {
    }
    std::int64_t into(File& to, std::int64_t limit) { return into(&to, limit); }
    // With no `to`, the checksum_only way.
    std::int64_t into(File* to, std::int64_t limit);

private:
    Way way(File* to, std::int64_t limit, bool within_data = false);
    std::int64_t copy_by(Way way, File& to, std::int64_t limit);
    std::int64_t check_only(std::int64_t limit);
    std::int64_t next_ahead(std::int64_t wanted, const char*& bytes);
    void give_back();
    std::int64_t copy_buffered(File& to, std::int64_t limit, bool ahead = false);
    std::int64_t share_then_read(File& to, std::int64_t limit);
    bool reads_ahead(std::int64_t limit) const;
    std::int64_t copy_in_chunks(File& to, std::int64_t limit);
    std::int64_t copy_data_only(File& to, std::int64_t limit);

    File& from_;
    Checksums* sums_;
    bool holes_kept_, shared_;
    // Bytes read from `from` ahead of its copies, [ahead_used_, end) still
    // to come; `from` stands past them.
    std::vector<char> ahead_;
    std::size_t ahead_used_ = 0;
};
