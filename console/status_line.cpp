#include "console/status_line.h"

#include "console/platform.h"
#include "pieces/sizes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// "1.4 of 4.0 GiB": both in the unit of the larger.
std::string amounts(std::int64_t part, std::int64_t whole)
{
    const Unit unit = unit_for(whole);
    char text[64];
    std::snprintf(text, sizeof text, unit.bytes == 1 ? "%.0f of %.0f %s" : "%.1f of %.1f %s", part / unit.bytes,
                  whole / unit.bytes, unit.name);
    return text;
}

// Passes all that is printed on to the console, erasing the status line
// first; draws the status line from what the split or the join tells.
class StatusLine : public std::streambuf {
public:
    explicit StatusLine(std::streambuf* console) : console_(console) {}

    void answer_read(bool waited)
    {
        if (waited)
            at_line_start_ = true;
    }

    void clear_for_interruption()
    {
        if (!at_line_start_)
            return;
        shown_ += std::strlen("^C");
        erase();
    }

    void piece(const std::string& name, std::int64_t number, std::int64_t count, std::int64_t bytes)
    {
        const Clock::time_point now = Clock::now();
        if (total_ == 0 && number == 0)
            started_ = now;
        name_ = name, number_ = number, count_ = count, bytes_ = bytes, done_ = 0, flushing_ = false;
        draw(now);
    }

    void moved(std::int64_t bytes)
    {
        done_ += bytes, total_ += bytes;
        draw(Clock::now());
    }

    void flushing()
    {
        flushing_ = true;
        draw(Clock::now(), true);
    }

private:
    void draw(Clock::time_point now, bool at_once = false)
    {
        if (!at_line_start_ || now - started_ < std::chrono::seconds(1)
            || (!at_once && now - drawn_ < std::chrono::milliseconds(250)))
            return;
        drawn_ = now;
        const double seconds = std::chrono::duration<double>(now - started_).count();
        std::string text = flushing_ ? "  writing to disk ..."
                                     : status_text(name_, number_, count_, done_, bytes_, total_ / seconds);
        const std::size_t width = std::max(text.size(), shown_);
        text.resize(width, ' ');
        put("\r" + text);
        shown_ = width;
        console_->pubsync();
    }

    void erase()
    {
        if (shown_ == 0)
            return;
        put("\r" + std::string(shown_, ' ') + "\r");
        shown_ = 0;
    }

    void put(const std::string& text) { console_->sputn(text.data(), static_cast<std::streamsize>(text.size())); }

    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char one = traits_type::to_char_type(c);
        return xsputn(&one, 1) == 1 ? c : traits_type::eof();
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        if (count == 0)
            return 0;
        erase();
        const std::streamsize put = console_->sputn(text, count);
        at_line_start_ = text[count - 1] == '\n';
        // Each line shows as it is printed: a piece's line as the piece starts.
        if (std::memchr(text, '\n', static_cast<std::size_t>(count)))
            console_->pubsync();
        return put;
    }

    int sync() override { return console_->pubsync(); }

    std::streambuf* console_;
    bool at_line_start_ = true;
    std::size_t shown_ = 0;  // the width drawn, 0 when none is shown
    Clock::time_point started_ = Clock::now(), drawn_;
    std::string name_;
    std::int64_t number_ = 0, count_ = 0, bytes_ = 0, done_ = 0, total_ = 0;
    bool flushing_ = false;
};

// Never destroyed: the streams may be flushed as late as the runtime's own
// clean-up.
StatusLine* line = nullptr;

} // namespace

std::string status_text(const std::string& piece, std::int64_t number, std::int64_t count, std::int64_t done,
                        std::int64_t bytes, double speed)
{
    std::string text = "  " + piece;
    if (count > 1)
        text += " (" + std::to_string(number + 1) + " of " + std::to_string(count) + ")";
    text += ": " + amounts(done, bytes);
    if (bytes > 0)
        text += " (" + std::to_string(done * 100 / bytes) + " %)";
    if (speed >= 1) {
        char rate[64];
        std::snprintf(rate, sizeof rate, ", %.0f MiB/s, %.0f s left", speed / (1 << 20), (bytes - done) / speed);
        text += rate;
    }
    return text;
}

void start_status_line()
{
    if (!output_is_console())
        return;
    line = new StatusLine(std::cout.rdbuf());
    std::cout.rdbuf(line);
}

void status_piece(const std::string& name, std::int64_t number, std::int64_t count, std::int64_t bytes)
{
    if (line)
        line->piece(name, number, count, bytes);
}

void status_moved(std::int64_t bytes)
{
    if (line)
        line->moved(bytes);
}

void status_flushing()
{
    if (line)
        line->flushing();
}

void clear_for_interruption()
{
    if (line)
        line->clear_for_interruption();
}

void answer_read(bool waited)
{
    if (line)
        line->answer_read(waited && input_is_console());
}
