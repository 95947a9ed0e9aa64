#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

// UTF-8's byte-order mark, which an editor may put before the first answer.
constexpr unsigned char byte_order_mark[] = {0xef, 0xbb, 0xbf};

// Answers are tokens, not lines: each read takes only its own token and
// leaves the rest of the line for the next question.
// A number answer takes its sign and digits; nothing when they are no
// decimal integer that fits 32 bits.
std::optional<std::int32_t> read_number(std::istream& in);
std::optional<std::int32_t> read_number();

// One white-space-delimited word of any length; nothing at the end of input.
// A word that starts with " or ' runs to the same quote, blanks and all, as
// a dragged file's path is typed; the quotes are no part of it, and a quote
// left open at the line's end fails the program.
std::optional<std::string> read_word(std::istream& in);
std::optional<std::string> read_word();

// A piece size in KB from its answer: a whole number of KB, or a whole
// number with a binary unit (64K, 100M, 4g, 2GiB, 1TB); nothing unless that
// is 1 KB to the largest piece.
std::optional<std::int64_t> kilobytes_of(const std::string& answer);

// A size answer, which may end in "+m" for m recovery pieces ("+0" for
// none, m at most 65,535), or in "+N%" for N percent of the pieces (at most
// 100): its kilobytes and how many, or what share, it asks for; nothing
// unless both are what they must be.
struct SizeAnswer {
    std::int64_t kilobytes;
    int recovery;
    bool percent = false;
};
std::optional<SizeAnswer> size_answer_of(const std::string& answer);

// How many recovery pieces the answer asks for a run of so many pieces: a
// share rounded up, at least one unless it is 0%.
int recovery_for(const SizeAnswer& size, std::int64_t pieces);
