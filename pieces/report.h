#pragma once

#include <cstdint>
#include <string>
#include <vector>

// All that a split or a join tells as it goes, for the console to show as
// it will: the operations print nothing themselves. Until one is set,
// nothing is told.
struct Report {
    virtual ~Report() = default;
    // The checks are done and files are about to change: from now on an
    // interruption is to be noted for the work to stop at, not obeyed.
    virtual void work_starts() {}
    // A split is about to write the piece `name`, or its recovery pieces,
    // `first` to `last`.
    virtual void writing_piece(const std::string& /*name*/) {}
    virtual void writing_recovery_pieces(const std::string& /*first*/, const std::string& /*last*/) {}
    // A piece's copy starts: its name, its place in the run and its bytes.
    virtual void piece(const std::string&, std::int64_t /*number*/, std::int64_t /*count*/, std::int64_t /*bytes*/) {}
    // So many more bytes of the piece are copied.
    virtual void moved(std::int64_t) {}
    // All is copied; what is still in memory goes to the disk.
    virtual void flushing() {}
    // Pieces FILE<first>.SPL to FILE<last>.SPL are here past the run: a
    // split left them from before, or a join left them out.
    virtual void pieces_past_the_split(std::int64_t /*first*/, std::int64_t /*last*/) {}
    // The folder could not be read to tell whether a split left any.
    virtual void pieces_past_the_split_unknown() {}
    virtual void pieces_past_the_manifest(std::int64_t /*first*/, std::int64_t /*last*/) {}
    // A join found no manifest, so nothing it joined was checked, nor was
    // a recovery piece here used.
    virtual void joined_unchecked(bool /*recovery_here*/) {}
    // A join rebuilt a piece that was missing or damaged, or repaired so
    // many of its blocks, from those recovery pieces; or found every piece
    // whole but a recovery piece missing, damaged, or no file to read.
    virtual void rebuilt(const std::string& /*piece*/, bool /*missing*/, const std::vector<std::string>& /*from*/) {}
    virtual void repaired(const std::string& /*piece*/, std::int64_t /*blocks*/, std::int64_t /*of*/,
                          const std::vector<std::string>& /*from*/)
    {
    }
    enum class Unusable : char { missing, damaged, not_a_file };
    virtual void recovery_unusable(const std::string& /*name*/, Unusable /*why*/) {}
    // A temporary file that a stopped split or join left, of so many bytes,
    // was removed.
    virtual void leftover_removed(const std::string& /*name*/, std::int64_t /*bytes*/, bool /*by_split*/) {}
};

Report& report();
void set_report(Report& told);
