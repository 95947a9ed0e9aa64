#include "console/answers.h"

#include "console/status_line.h"
#include "pieces/erasure.h"
#include "pieces/failure.h"
#include "pieces/piece_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iostream>

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }

bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// An answers file that an editor saved as UTF-8 may begin with a byte-order
// mark: no part of the first answer. Anywhere else it is an ordinary byte.
void skip_byte_order_mark(std::istream& in)
{
    static bool first = true;
    if (!first)
        return;
    first = false;
    for (const unsigned char byte : byte_order_mark) {
        if (in.peek() != byte)
            return;
        in.get();
    }
}

// Reading std::cin flushes std::cout first, so a question always shows
// before the program waits for its answer.
void skip_white_space(std::istream& in)
{
    skip_byte_order_mark(in);
    bool waited = false;
    for (;;) {
        // Nothing left of what was read: the next character must be typed.
        waited = waited || in.rdbuf()->in_avail() <= 0;
        if (!is_space(in.peek()))
            break;
        in.get();
    }
    answer_read(waited);
}

template <typename Accept>
void take_while(std::istream& in, std::string& text, Accept accept)
{
    for (int c = in.peek(); c != std::char_traits<char>::eof() && accept(c); c = in.peek())
        text += static_cast<char>(in.get());
}

} // namespace

std::optional<std::int32_t> read_number(std::istream& in)
{
    skip_white_space(in);
    std::string text;
    const int first = in.peek();
    if (first == '+' || first == '-')
        text += static_cast<char>(in.get());
    take_while(in, text, is_digit);
    const char* begin = text.data() + (first == '+' ? 1 : 0);
    std::int32_t value = 0;
    // Out of range is no number at all: 4294967297 must not wrap to 1.
    const auto read = std::from_chars(begin, text.data() + text.size(), value);
    if (read.ec != std::errc())
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> read_number() { return read_number(std::cin); }

std::optional<std::string> read_word(std::istream& in)
{
    skip_white_space(in);
    std::string word;
    if (const int quote = in.peek(); quote == '"' || quote == '\'') {
        in.get();
        // A quote left open at a console must not wait for more lines.
        take_while(in, word, [quote](int c) { return c != quote && c != '\n' && c != '\r'; });
        if (in.get() != quote)
            fail("No closing quote in the answer : " + std::string(1, static_cast<char>(quote)) + word + "\n");
        return word;
    }
    take_while(in, word, [](int c) { return !is_space(c); });
    if (word.empty())
        return std::nullopt;
    return word;
}

std::optional<std::string> read_word() { return read_word(std::cin); }

std::optional<std::int64_t> kilobytes_of(const std::string& answer)
{
    const char* begin = answer.data() + (answer.rfind('+', 0) == 0 ? 1 : 0);
    const char* end = answer.data() + answer.size();
    std::int64_t count = 0;
    // A sign of its own ("-5", "+-5") reads as a number below one, refused below.
    const auto read = std::from_chars(begin, end, count);
    if (read.ec != std::errc())
        return std::nullopt;
    std::string unit(read.ptr, end);
    for (char& c : unit)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::int64_t per_unit = 1;
    if (!unit.empty()) {
        const auto power = std::string("KMGT").find(unit[0]);
        const std::string rest = unit.substr(1);
        if (power == std::string::npos || !(rest.empty() || rest == "B" || rest == "IB"))
            return std::nullopt;
        per_unit = std::int64_t{1} << (10 * power);
    }
    if (count <= 0 || count > most_piece_kilobytes / per_unit)
        return std::nullopt;
    return count * per_unit;
}

std::optional<SizeAnswer> size_answer_of(const std::string& answer)
{
    // A plus sign at the start is the size's own.
    const auto plus = answer.rfind('+');
    if (plus == std::string::npos || plus == 0) {
        const auto kilobytes = kilobytes_of(answer);
        return kilobytes ? std::optional(SizeAnswer{*kilobytes, 0}) : std::nullopt;
    }
    std::string spares = answer.substr(plus + 1);
    const bool percent = !spares.empty() && spares.back() == '%';
    if (percent)
        spares.pop_back();
    const auto kilobytes = kilobytes_of(answer.substr(0, plus));
    int count = 0;
    const auto read = std::from_chars(spares.data(), spares.data() + spares.size(), count);
    // Digits alone, as they are written: no sign, no leading zero, no
    // fraction; a share of the pieces at most all of them, a count at most
    // what leaves room for one piece.
    if (!kilobytes || spares.empty() || read.ec != std::errc() || read.ptr != spares.data() + spares.size()
        || spares[0] < '0' || (spares[0] == '0' && spares.size() > 1)
        || count > (percent ? 100 : most_files_with_recovery - 1))
        return std::nullopt;
    return SizeAnswer{*kilobytes, count, percent};
}

int recovery_for(const SizeAnswer& size, std::int64_t pieces)
{
    if (!size.percent || size.recovery == 0)
        return size.recovery;
    // Rounded up, at least one; a share of 65,535 pieces or fewer stays an int.
    const std::int64_t share = (pieces * size.recovery + 99) / 100;
    return static_cast<int>(std::clamp<std::int64_t>(share, 1, most_files_with_recovery - 1));
}
