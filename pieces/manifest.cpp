#include "pieces/manifest.h"

#include "pieces/failure.h"
#include "pieces/piece_files.h"
#include "pieces/recovery.h"

#include <charconv>
#include <string_view>

const std::string manifest_name = "FILES.XXH128";

namespace {

const std::string mark = "# zelk: ";

// A name of 255 characters, each escaped or of four bytes, and the rest.
constexpr std::size_t longest_line = 4096;

// A name reads back exactly, whatever it holds, from one line.
std::string escaped(const std::string& name)
{
    std::string text;
    for (const char c : name)
        text += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return text;
}

bool unescape(const std::string& text, std::string& name)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
            continue;
        }
        const char next = ++i < text.size() ? text[i] : '\0';
        if (next != '\\' && next != 'n' && next != 'r')
            return false;
        name += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
    }
    return true;
}

std::string header(const Manifest& m)
{
    return mark + escaped(m.source) + ", " + std::to_string(m.size) + " bytes in " + std::to_string(m.count)
           + (m.count == 1 ? " piece" : " pieces") + " of " + std::to_string(m.piece_size) + " bytes, "
           + (m.recovery ? "1 recovery piece, " : "") + (m.finished ? "whole " + hex_of(m.whole) : "unfinished")
           + "\n";
}

bool whole_number(std::string_view text, std::int64_t& value)
{
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    return read.ec == std::errc() && read.ptr == text.data() + text.size() && value >= 0;
}

// Takes `word` off the end of `text`, where it ends so.
bool ends_with(std::string_view& text, std::string_view word)
{
    if (text.size() < word.size() || text.substr(text.size() - word.size()) != word)
        return false;
    text.remove_suffix(word.size());
    return true;
}

// Takes the digits that end `text` off it, as a number.
bool number_at_end(std::string_view& text, std::int64_t& value)
{
    std::size_t start = text.size();
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
        --start;
    if (!whole_number(text.substr(start), value))
        return false;
    text.remove_suffix(text.size() - start);
    return true;
}

bool digest_of(const std::string& text, Digest& digest)
{
    if (text.size() != 32)
        return false;
    // Whatever does not read back as the same 32 digits is refused.
    for (std::size_t i = 0; i < 16; ++i)
        std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, digest[i], 16);
    return hex_of(digest) == text;
}

// Read from its end back, as the name before it may hold anything: each
// step looks at each byte at most once.
bool read_header(const std::string& line, Manifest& m)
{
    std::string_view text = line;
    if (!ends_with(text, "unfinished")) {
        if (text.size() < 32 || !digest_of(std::string(text.substr(text.size() - 32)), m.whole))
            return false;
        text.remove_suffix(32);
        if (!ends_with(text, "whole "))
            return false;
        m.finished = true;
    }
    m.recovery = ends_with(text, "1 recovery piece, ");
    if (!ends_with(text, " bytes, ") || !number_at_end(text, m.piece_size) || !ends_with(text, " of ")
        || !(ends_with(text, " pieces") || ends_with(text, " piece")) || !number_at_end(text, m.count)
        || !ends_with(text, " bytes in ") || !number_at_end(text, m.size) || !ends_with(text, ", ")
        || text.substr(0, mark.size()) != mark || !unescape(std::string(text.substr(mark.size())), m.source))
        return false;
    // Only what a split of whole kilobytes makes, written as it writes it
    // (no leading zero, no bare line end in the name).
    return m.piece_size > 0 && m.piece_size % 1024 == 0 && m.piece_size <= most_piece_kilobytes * 1024
           && m.count == piece_count(m.size, m.piece_size) && header(m) == line + "\n";
}

// The lines read so far after the first: the pieces', then the recovery
// piece's, once it is read.
std::int64_t listed(const Manifest& m)
{
    return static_cast<std::int64_t>(m.pieces.size()) + (m.recovery_digest != Digest{});
}

// A piece's line, or once all are read the recovery piece's, in order.
bool read_line(const std::string& line, Manifest& m)
{
    const auto count = static_cast<std::int64_t>(m.pieces.size());
    const std::string name = "  " + (count < m.count ? piece_file_name(count) : recovery_name);
    Digest digest;
    if (listed(m) == m.count + m.recovery || line.size() != 32 + name.size() || line.compare(32, name.size(), name) != 0
        || !digest_of(line.substr(0, 32), digest))
        return false;
    (count < m.count ? m.pieces.emplace_back() : m.recovery_digest) = digest;
    return true;
}

} // namespace

std::int64_t Manifest::piece_bytes(std::int64_t number) const
{
    return std::min(piece_size, size - number * piece_size);
}

bool write_manifest(File& file, const Manifest& manifest)
{
    std::string text = header(manifest);
    for (std::size_t number = 0; number < manifest.pieces.size(); ++number) {
        text += hex_of(manifest.pieces[number]) + "  " + piece_file_name(static_cast<std::int64_t>(number)) + "\n";
        if (text.size() >= (1 << 16) && !write_all(file, text.data(), static_cast<std::int64_t>(text.size())))
            return false;
        if (text.size() >= (1 << 16))
            text.clear();
    }
    if (manifest.recovery && manifest.finished)
        text += hex_of(manifest.recovery_digest) + "  " + recovery_name + "\n";
    return write_all(file, text.data(), static_cast<std::int64_t>(text.size()));
}

ManifestRead read_manifest(Manifest& m)
{
    File file;
    if (!open_for_reading(file, manifest_name)) {
        if (about(manifest_name).kind == NameInfo::none)
            return ManifestRead::absent;
        fail_opening(manifest_name);
    }
    std::string line, block(1 << 16, '\0');
    bool first = true;
    for (std::int64_t got; (got = read_some(file, block.data(), static_cast<std::int64_t>(block.size()))) != 0;) {
        if (got < 0)
            fail_reading(manifest_name);
        for (std::int64_t i = 0; i < got; ++i) {
            if (block[i] != '\n') {
                line += block[i];
                // No line this program writes is anywhere near so long.
                if (line.size() > longest_line)
                    return ManifestRead::malformed;
                continue;
            }
            if (first) {
                if (!read_header(line, m))
                    return ManifestRead::malformed;
                // Whatever follows, the split did not vouch for it.
                if (!m.finished)
                    return ManifestRead::read;
                first = false;
            } else if (!read_line(line, m)) {
                return ManifestRead::malformed;
            }
            line.clear();
        }
    }
    const bool whole = !first && line.empty() && listed(m) == m.count + m.recovery;
    return whole ? ManifestRead::read : ManifestRead::malformed;
}
