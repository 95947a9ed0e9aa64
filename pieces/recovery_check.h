#pragma once

#include "pieces/checksum.h"
#include "pieces/files.h"
#include "pieces/manifest.h"
#include "pieces/worker.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Whether bytes [at, at + size) of a file are what the manifest says, the
// file being `length` long; false as soon as `given_up` is set.
bool holds(const std::string& name, std::int64_t length, std::int64_t at, std::int64_t size, const Digest& digest,
           const std::atomic<bool>* given_up = nullptr);

// The recovery pieces read in a thread of their own while the pieces are
// copied: the copy leaves a core idle, so a whole run costs little more
// with them than without. Given up when a piece needs them, a failure or
// an interruption.
class RecoveryCheck {
public:
    // Those not `to_read` (no regular files) are not opened.
    RecoveryCheck(const Manifest& manifest, std::vector<bool> to_read)
        : whole_(static_cast<std::size_t>(manifest.recovery), false)
    {
        worker_.hand([this, &manifest, to_read = std::move(to_read)] {
            for (int index = 0; index < manifest.recovery && !given_up_; ++index)
                whole_[static_cast<std::size_t>(index)] = to_read[static_cast<std::size_t>(index)] &&
                    holds(recovery_file_name(index), manifest.piece_size, 0, manifest.piece_size,
                          manifest.recovery_pieces[static_cast<std::size_t>(index)], &given_up_);
        });
    }
    ~RecoveryCheck() { given_up_ = true; }
    void give_up()
    {
        given_up_ = true;
        worker_.wait();
    }
    bool whole(int index)
    {
        worker_.wait();
        return whole_[static_cast<std::size_t>(index)] && !given_up_;
    }

private:
    std::atomic<bool> given_up_{false};
    std::vector<bool> whole_;
    Worker worker_;  // last: it stops before what its job uses goes
};
