#pragma once

// The checked copy's parts, for its own files alone: the happy path
// (checked_copy.cpp), a piece taken block by block (block_repair.cpp),
// and a block rebuilt from its row (rebuild.cpp).

#include "pieces/checked_copy.h"
#include "pieces/checksum.h"
#include "pieces/recovery_check.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace checked {


[[noreturn]] void fail_damaged(const std::string& piece_name);

// A piece that differs from what was checked a moment before, or that its
// size or times show changed while it was read, is named as changed.
[[noreturn]] void fail_changed_or_damaged(File& piece, bool checked_before);


void note_rows(Repair& repair, const std::vector<int>& rows);

// What a dry run found, for the copy that follows it into an output that
// cannot go back: the pieces to take block by block, and their bad blocks.
struct Damage {
    std::set<std::int64_t> pieces;
    std::set<std::pair<std::int64_t, std::int64_t>> blocks;
};

enum class State : char { whole, missing, wrong_size };

// Into `output`, or with none, a dry run: every check and every rebuild,
// nothing written.
class CheckedCopy {
public:
    CheckedCopy(File* output, const Manifest& manifest, CopyWays ways, Damage known)
        : output_(output), manifest_(manifest), ways_(ways), known_(std::move(known)), bad_(known_.blocks),
          states_(static_cast<std::size_t>(manifest.files()), State::whole),
          copied_whole_(static_cast<std::size_t>(manifest.count), false)
    {
    }
    CheckedCopyNotes run();
    Damage damage() const { return {restreamed_, bad_}; }

private:
    void find_lost_files();
    void refuse_what_no_row_can_rebuild();
    void copy_piece(std::int64_t number);
    void restream(std::int64_t number, bool in_output = false);
    bool copy_block(File& piece, std::int64_t number, std::int64_t block);
    void rebuild_block(std::int64_t number, std::int64_t block, Repair& repair);
    bool rebuild_row(std::int64_t number, std::int64_t block, Repair& repair, bool checked);
    bool known_bad(std::int64_t file, std::int64_t block) const;
    bool read_back(std::int64_t number, std::int64_t block);
    bool block_whole(std::int64_t file, std::int64_t block);
    [[noreturn]] void fail_row(const std::vector<std::int64_t>& pieces, const std::vector<std::int64_t>& spares);
    [[noreturn]] void fail_rebuilding(std::int64_t number);
    void check_recovery_pieces();
    void end_output();
    State state(std::int64_t file) const { return states_[static_cast<std::size_t>(file)]; }

    File* output_;
    const Manifest& manifest_;
    CopyWays ways_;
    Damage known_;
    Checksums sums_;
    std::set<std::pair<std::int64_t, std::int64_t>> bad_;  // (file, block) found bad
    std::map<std::pair<std::int64_t, std::int64_t>, bool> checked_;
    // Blocks of later pieces rebuilt with an earlier one's, in their place
    // in the output ahead of the copy, and the recovery pieces they took.
    std::map<std::pair<std::int64_t, std::int64_t>, std::vector<int>> ahead_;
    std::int64_t origin_ = 0;  // where the output stood at the start
    std::vector<State> states_;  // known before a byte is copied
    std::vector<bool> copied_whole_;  // a bit a piece: a run may have millions
    std::set<std::int64_t> restreamed_;
    CheckedCopyNotes notes_;
    std::optional<RecoveryCheck> recovery_check_;  // while every piece may be whole
};

} // namespace checked
