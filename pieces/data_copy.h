#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"

#include <cstdint>
#include <vector>

// Copies from one file into others, one call at a time: at most `limit`
// bytes from where `from` stands to where `to` stands, returning how many
// there were before the end of `from` and telling `sums` of them where
// given. A failed read or write ends the program with a message naming that
// file; an interruption stops it between two stretches. What a copy learns
// of `from` (bytes read ahead for the next one, a system copy refused)
// serves those that follow.
class DataCopy {
public:
    // Holes in `from` are copied as holes where `holes_kept`: some file
    // systems (FAT) have none, and write them out as zeros.
    explicit DataCopy(File& from, Checksums* sums = nullptr, bool holes_kept = true)
        : from_(from), sums_(sums), holes_kept_(holes_kept)
    {
    }
    std::int64_t into(File& to, std::int64_t limit);

private:
    std::int64_t next_ahead(std::int64_t wanted, const char*& bytes);
    void give_back();
    std::int64_t copy_blocks(File& to, std::int64_t limit, bool ahead = false);
    bool reads_ahead(std::int64_t limit) const;
    std::int64_t copy_every_byte(File& to, std::int64_t limit);
    std::int64_t copy_data_only(File& to, std::int64_t limit);

    File& from_;
    Checksums* sums_;
    bool holes_kept_;
    // Bytes read from `from` ahead of its copies, [ahead_used_, end) still
    // to come; `from` stands past them.
    std::vector<char> ahead_;
    std::size_t ahead_used_ = 0;
    bool system_copy_refused_ = false;
};
