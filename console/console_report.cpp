#include "console/console_report.h"

#include "console/platform.h"
#include "console/status_line.h"
#include "pieces/manifest.h"
#include "pieces/piece_files.h"
#include "pieces/recovery.h"
#include "pieces/report.h"
#include "pieces/sizes.h"

#include <iostream>

namespace {

// "Note : FILE5.SPL was here ... it out", or "FILE5.SPL to FILE9.SPL were
// here ... them out".
void note(std::int64_t first, std::int64_t last, const std::string& rest)
{
    const bool single = first == last;
    std::cout << "Note : " << piece_range(first, last) << (single ? " was" : " were") << rest
              << (single ? "it" : "them") << " out\n";
}

class ConsoleReport : public Report {
    void joined_unchecked(bool recovery_here) override
    {
        std::cout << "Note : there is no " << manifest_name << " here, so these pieces were joined unchecked"
                  << (recovery_here ? ", and " + recovery_name + " was not used" : "") << "\n";
    }

    void rebuilt(const std::string& piece, bool missing, const std::vector<std::string>& from) override
    {
        std::cout << "Note : " << piece << (missing ? " was missing" : " was damaged") << ", and this join rebuilt it from "
                  << listed(from) << "\n";
    }

    void repaired(const std::string& piece, std::int64_t blocks, std::int64_t of,
                  const std::vector<std::string>& from) override
    {
        std::cout << "Note : " << piece << " was damaged in " << blocks << " of its " << of
                  << " blocks, and this join repaired " << (blocks == 1 ? "it" : "them") << " from " << listed(from) << "\n";
    }

    void recovery_unusable(const std::string& name, Unusable why) override
    {
        std::cout << "Note : " << name
                  << (why == Unusable::missing   ? " is missing"
                      : why == Unusable::damaged ? " is damaged: it differs from " + manifest_name
                                                 : " is not a file, so it was not read")
                  << "; no piece needed it\n";
    }

    void leftover_removed(const std::string& name, std::int64_t bytes, bool by_split) override
    {
        std::cout << "Note : " << name << " (" << size_text(bytes) << "), left by a " << (by_split ? "split" : "join")
                  << " that was stopped, was removed\n";
    }

    void writing_recovery_pieces(const std::string& first, const std::string& last) override
    {
        std::cout << (first == last ? "Writing the recovery piece " + first
                                    : "Writing the recovery pieces " + first + " to " + last)
                  << "\n";
    }

    // What was printed goes out before the work, which may write to the
    // same place.
    void work_starts() override
    {
        std::cout.flush();
        catch_interruptions();
    }

    void writing_piece(const std::string& name) override
    {
        std::cout << "Splitting and writing into file " << name << "\n";
    }

    void piece(const std::string& name, std::int64_t number, std::int64_t count, std::int64_t bytes) override
    {
        status_piece(name, number, count, bytes);
    }

    void moved(std::int64_t bytes) override { status_moved(bytes); }
    void flushing() override { status_flushing(); }

    void pieces_past_the_split(std::int64_t first, std::int64_t last) override
    {
        note(first, last, " here before this split; a join here would leave ");
    }

    void pieces_past_the_split_unknown() override
    {
        std::cout << "Note : this folder cannot be read, so pieces here from before this split are not named;"
                     " a join here would leave them out\n";
    }

    void pieces_past_the_manifest(std::int64_t first, std::int64_t last) override
    {
        note(first, last, std::string(" here but ") + (first == last ? "is" : "are") + " not in " + manifest_name
                              + ", so this join left ");
    }
};

} // namespace

void start_console_report()
{
    static ConsoleReport shown;
    set_report(shown);
}
