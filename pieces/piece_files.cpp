#include "pieces/piece_files.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A name with a NUL in it would silently open a different, shorter name.
bool usable_name(const std::string& name) { return name.find('\0') == std::string::npos; }

} // namespace

fs::path file_path(const std::string& name) { return fs::u8path(name); }

std::string piece_file_name(std::int64_t number)
{
    return "FILE" + std::to_string(number) + ".SPL";
}

std::optional<std::int64_t> measure_size(std::streambuf& file)
{
    const auto end = file.pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (end == std::streampos(std::streamoff(-1)))
        return std::nullopt;
    if (file.pubseekpos(0, std::ios_base::in) != std::streampos(0))
        return std::nullopt;
    return static_cast<std::int64_t>(std::streamoff(end));
}

std::optional<std::int64_t> open_and_measure(std::filebuf& file, const std::string& name)
{
    std::error_code error;
    // A folder opens on some systems and then throws on the first read.
    if (!usable_name(name) || !fs::is_regular_file(file_path(name), error))
        return std::nullopt;
    if (!file.open(file_path(name), std::ios_base::in | std::ios_base::binary))
        return std::nullopt;
    return measure_size(file);
}

bool open_for_writing(std::filebuf& file, const std::string& name)
{
    return usable_name(name)
        && file.open(file_path(name), std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
}

std::optional<std::int64_t> piece_that_is(const std::string& name, std::int64_t count, bool stop_at_gap)
{
    if (!usable_name(name))
        return std::nullopt;
    std::error_code error;
    for (std::int64_t number = 0; number < count; ++number) {
        const std::string piece = piece_file_name(number);
        // Either file missing is no match.
        if (fs::equivalent(piece, file_path(name), error))
            return number;
        if (stop_at_gap && !fs::exists(piece, error))
            break;
    }
    return std::nullopt;
}
