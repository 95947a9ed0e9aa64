#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What one run of the program left behind.
struct Outcome {
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
    int status = -1;  // exit status, or 128 + signal number
};

struct Launch {
    std::optional<std::string> input;  // nothing: standard input is /dev/null
    long long file_size_limit = -1;    // bytes; writes past it fail with EFBIG
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;  // nullopt unsets
    std::vector<std::string> command;  // empty: zelk_command()
};

// A fresh temporary folder in which the real executable runs.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::filesystem::path& dir() const { return work_; }
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    std::vector<std::string> names() const;  // sorted

    Outcome run(const std::string& input) const;
    Outcome run(const Launch& launch) const;

private:
    std::filesystem::path root_;
    std::filesystem::path work_;
};

// The program under test: $ZELK_COMMAND (words split at blanks, for example
// "wine build-windows/zelk.exe"), else the native build.
std::vector<std::string> zelk_command();
bool testing_windows_build();

// `length` bytes that run through every byte value, CR, LF, 0x1A and NUL
// included, in an order that is not a plain count.
std::string every_byte_value(std::size_t length);

// The program's texts, written out again here so that a change to any of
// them shows.
namespace text {
extern const std::string banner;
extern const std::string question;
extern const std::string farewell;
extern const std::string split_name_prompt;
extern const std::string split_size_prompt;
extern const std::string join_prompt;
extern const std::string help_page;
std::string progress(const std::string& piece);
}  // namespace text
