// Built for Windows alone; console/platform_posix.cpp serves the rest.
#ifdef _WIN32

#include "console/platform.h"

#include "console/answers.h"
#include "pieces/interruption.h"
#include "pieces/utf16.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>

#include <windows.h>

// A console hands over what is typed in its own code page, and a narrow file
// name is read in the ANSI one: the two disagree on every letter beyond
// ASCII. So the console is read and written as characters, pipes and files as
// bytes in the ANSI code page, as they always were, and the program in
// between sees UTF-8.

namespace {

HANDLE console(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// Hands out as UTF-8 whatever characters `more` brings; nothing is the end.
class Utf8Input : public std::streambuf {
protected:
    virtual std::wstring more() = 0;

private:
    int_type underflow() override
    {
        if (gptr() == egptr()) {
            buffer_ = narrow_from(more(), CP_UTF8);
            setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
            if (buffer_.empty())
                return traits_type::eof();
        }
        return traits_type::to_int_type(*gptr());
    }

    std::string buffer_;
};

class ConsoleInput : public Utf8Input {
public:
    explicit ConsoleInput(HANDLE handle) : handle_(handle) {}

private:
    std::wstring more() override
    {
        wchar_t chars[4096];
        DWORD count = 0;
        if (ended_ || !ReadConsoleW(handle_, chars, 4096, &count, nullptr))
            return {};
        std::wstring typed = held_ + std::wstring(chars, count);
        held_.clear();
        // Ctrl+Z is the console's end of input, as it is for a pipe's end.
        if (const auto stop = typed.find(L'\x1a'); stop != std::wstring::npos) {
            typed.resize(stop);
            ended_ = true;
        } else if (!typed.empty() && IS_HIGH_SURROGATE(typed.back())) {
            held_ = typed.back();
            typed.pop_back();
        }
        // A read that brought half a character alone is not the end.
        return typed.empty() && !held_.empty() ? more() : typed;
    }

    HANDLE handle_;
    std::wstring held_;
    bool ended_ = false;
};

// Pipes and files still go through the C library, which turns CR LF into LF
// and stops at Ctrl+Z. They are in the ANSI code page, unless they begin
// with UTF-8's byte-order mark, as Notepad saves UTF-8.
class AnsiInput : public Utf8Input {
    std::wstring more() override
    {
        const int first = std::getchar();
        if (first == EOF)
            return {};
        std::string bytes(1, static_cast<char>(first));
        if (!started_ && first == byte_order_mark[0]) {
            started_ = true;
            for (const int byte : {byte_order_mark[1], byte_order_mark[2]})
                if (const int next = std::getchar(); next == EOF || (bytes += static_cast<char>(next), next != byte))
                    return wide_from(bytes, code_page_);
            code_page_ = CP_UTF8;
            return more();
        }
        started_ = true;
        // The rest of the character: what its first byte says.
        int rest = code_page_ != CP_UTF8 ? IsDBCSLeadByte(static_cast<BYTE>(first))
                   : first >= 0xf0       ? 3
                   : first >= 0xe0       ? 2
                                         : first >= 0xc0;
        for (int next; rest > 0 && (next = std::getchar()) != EOF; --rest)
            bytes += static_cast<char>(next);
        return wide_from(bytes, code_page_);
    }

    UINT code_page_ = CP_ACP;
    bool started_ = false;
};

// Takes UTF-8 and writes it out as characters on `flush`, and at each line's
// end when `by_line`.
class Utf8Output : public std::streambuf {
public:
    explicit Utf8Output(bool by_line) : by_line_(by_line) {}
    char last() const { return last_; }

protected:
    virtual bool write(const std::wstring& text) = 0;

private:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char one = traits_type::to_char_type(c);
        xsputn(&one, 1);
        return c;
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        pending_.append(text, static_cast<std::size_t>(count));
        if (by_line_ && std::find(text, text + count, '\n') != text + count)
            sync();
        return count;
    }

    int sync() override
    {
        if (pending_.empty())
            return 0;
        last_ = pending_.back();
        const std::wstring text = wide_from(pending_, CP_UTF8);
        pending_.clear();
        return write(text) ? 0 : -1;
    }

    const bool by_line_;
    std::string pending_;
    char last_ = '\n';
};

// A line shows as soon as it is printed: each piece's progress line as the
// piece starts, not all of them when the program ends.
class ConsoleOutput : public Utf8Output {
public:
    explicit ConsoleOutput(HANDLE handle) : Utf8Output(true), handle_(handle) {}

private:
    // Line ends stay CR LF, as the console has always been given them.
    bool write(const std::wstring& text) override
    {
        std::wstring lines;
        for (const wchar_t c : text)
            lines += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
        DWORD written = 0;
        return WriteConsoleW(handle_, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    }

    HANDLE handle_;
};

// Pipes and files may wait for a flush, as the C library has them wait.
class AnsiOutput : public Utf8Output {
public:
    AnsiOutput() : Utf8Output(false) {}

private:
    bool write(const std::wstring& text) override
    {
        const std::string bytes = narrow_from(text, CP_ACP);
        return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
    }
};

// Set once at the start and never destroyed: the streams may be flushed as
// late as the C++ runtime's own clean-up.
Utf8Output* output = nullptr;

} // namespace

void start_console()
{
    if (HANDLE in = console(STD_INPUT_HANDLE))
        std::cin.rdbuf(new ConsoleInput(in));
    else
        std::cin.rdbuf(new AnsiInput);
    if (HANDLE out = console(STD_OUTPUT_HANDLE))
        output = new ConsoleOutput(out);
    else {
        // The C library writes a character device such as NUL unbuffered, a
        // system call a byte; AnsiOutput flushes it whenever it must.
        std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
        output = new AnsiOutput;
    }
    std::cout.rdbuf(output);
}

bool output_is_console() { return console(STD_OUTPUT_HANDLE) != nullptr; }
bool input_is_console() { return console(STD_INPUT_HANDLE) != nullptr; }

void clear_console()
{
    if (console(STD_OUTPUT_HANDLE))
        static_cast<void>(std::system("cls"));
}

// Started from Explorer, the program has a console window of its own, which
// Windows closes the moment the program ends, messages and all. Run from a
// command prompt, the console is shared and stays.
void end_console()
{
    HANDLE in = console(STD_INPUT_HANDLE);
    DWORD processes[2];
    if (!in || !console(STD_OUTPUT_HANDLE) || GetConsoleProcessList(processes, 2) != 1)
        return;
    std::cout.flush();
    std::cout << (output->last() == '\n' ? "\n" : "\n\n") << "Press Enter to close this window . . .";
    std::cout.flush();
    // What was typed ahead belongs to the last answer, not to this wait.
    FlushConsoleInputBuffer(in);
    wchar_t line[256];
    DWORD count = 0;
    while (ReadConsoleW(in, line, 256, &count, nullptr) && count > 0
           && std::wstring(line, count).find_first_of(L"\n\x1a") == std::wstring::npos) {
    }
}

namespace {

// Called in a thread of its own. A closed window ends the process once this
// returns, so it waits for the work to stop and end the process first.
BOOL WINAPI on_console_event(DWORD event)
{
    // A later Ctrl+C ends a run that waits where it cannot see the first.
    if (note_interruption(event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM)
        && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        return FALSE;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

void catch_interruptions() { SetConsoleCtrlHandler(on_console_event, TRUE); }

// As a console program ends on Ctrl+C.
void end_as_interrupted(int)
{
    std::cout.flush();
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
#endif
