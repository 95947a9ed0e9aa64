#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

// A number answer as typed. `text` is empty only at the end of input;
// `value` is set only when the text is a decimal integer that fits 32 bits.
struct NumberAnswer {
    std::string text;
    std::optional<std::int32_t> value;
};

// Answers are tokens, not lines: each read takes only its own token and
// leaves the rest of the line for the next question.
NumberAnswer read_number(std::istream& in);
NumberAnswer read_number();

// One white-space-delimited word of any length; nothing at the end of input.
std::optional<std::string> read_word(std::istream& in);
std::optional<std::string> read_word();
