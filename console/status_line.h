#pragma once

#include <cstdint>
#include <string>

// At a console, a line under the last one printed that shows how far a
// split or a join has come: once the work has run for a second, at most
// four times a second. It is erased before anything else is printed, so the
// screen ends as it would have without it. Elsewhere nothing changes.
void start_status_line();

// What the line shows, where there is one: a piece's copy starts (its name,
// its place in the run and its bytes), so many more of its bytes are
// copied, or what is still in memory goes to the disk.
void status_piece(const std::string& name, std::int64_t number, std::int64_t count, std::int64_t bytes);
void status_moved(std::int64_t bytes);
void status_flushing();

// An answer was just read; `waited` when the program had to wait for it to
// be typed, so that its Enter left the cursor at the start of a line.
void answer_read(bool waited);

// Before the line that says what an interruption left: a terminal echoed
// "^C" where its cursor stood, after the status line or at the start of an
// empty line; both go, so that the line starts clean.
void clear_for_interruption();

// The line's text for `done` of the `bytes` of piece `number` of `count`,
// at `speed` bytes a second:
// "  FILE2.SPL (3 of 12): 1.4 of 4.0 GiB (35 %), 82 MiB/s, 31 s left".
std::string status_text(const std::string& piece, std::int64_t number, std::int64_t count, std::int64_t done,
                        std::int64_t bytes, double speed);
