#include "pieces/manifest.h"

#include "pieces/erasure.h"
#include "pieces/failure.h"
#include "pieces/piece_files.h"
#include "pieces/run_names.h"

#include <algorithm>
#include <charconv>
#include <string_view>

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

std::string recovery_text(int recovery)
{
    return recovery == 0   ? ""
           : recovery == 1 ? "1 recovery piece, "
                           : std::to_string(recovery) + " recovery pieces, ";
}

std::string header(const Manifest& m)
{
    return mark + escaped(m.source) + ", " + std::to_string(m.size) + " bytes in " + std::to_string(m.count)
           + (m.count == 1 ? " piece" : " pieces") + " of " + std::to_string(m.piece_size) + " bytes, "
           + recovery_text(m.recovery) + (m.finished ? "whole " + hex_of(m.whole) : "unfinished") + "\n";
}

std::string file_line(const Digest& digest, const std::string& name) { return hex_of(digest) + "  " + name + "\n"; }

std::string block_line(const Digest& digest, const std::string& name, std::int64_t block)
{
    return "# " + hex_of(digest) + "  " + name + " block " + std::to_string(block) + "\n";
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
    std::int64_t recovery = 0;
    if (ends_with(text, " recovery pieces, ") ? !number_at_end(text, recovery) : ends_with(text, "1 recovery piece, "))
        recovery += 1;
    if (recovery >= most_files_with_recovery)
        return false;
    m.recovery = static_cast<int>(recovery);
    if (!ends_with(text, " bytes, ") || !number_at_end(text, m.piece_size) || !ends_with(text, " of ")
        || !(ends_with(text, " pieces") || ends_with(text, " piece")) || !number_at_end(text, m.count)
        || !ends_with(text, " bytes in ") || !number_at_end(text, m.size) || !ends_with(text, ", ")
        || text.substr(0, mark.size()) != mark || !unescape(std::string(text.substr(mark.size())), m.source))
        return false;
    // Only what a split of whole kilobytes makes, written as it writes it
    // (no leading zero, no bare line end in the name).
    return m.piece_size > 0 && m.piece_size % 1024 == 0 && m.piece_size <= most_piece_kilobytes * 1024
           && m.count == piece_count(m.size, m.piece_size) && header(m) == line + "\n"
           && (m.recovery < 2 || m.count + m.recovery <= most_files_with_recovery);
}

// A piece's line, a recovery piece's, or a block's, in the order they
// are written; what it is follows from how many came before.
bool read_line(const std::string& line, Manifest& m)
{
    const auto files = static_cast<std::int64_t>(m.pieces.size() + m.recovery_pieces.size());
    Digest digest;
    if (files < m.files()) {
        const std::string name = m.file_name(files);
        if (line.size() < 32 || !digest_of(line.substr(0, 32), digest) || file_line(digest, name) != line + "\n")
            return false;
        (files < m.count ? m.pieces : m.recovery_pieces).push_back(digest);
        return true;
    }
    // The blocks, file by file: the next one's file and number, found at
    // once, as a run may have a million of them. Listed, the blocks have
    // their own size.
    if (m.recovery == 0 || m.count == 0)
        return false;
    m.blocks.emplace_back();
    const auto next = static_cast<std::int64_t>(m.blocks.size()) - 1;
    const std::int64_t full = m.blocks_of(m.count), before_spares = m.block_index(m.count, 0);
    const std::int64_t file =
        next < before_spares ? std::min(next / full, m.count - 1) : m.count + (next - before_spares) / full;
    const std::int64_t block = next - m.block_index(file, 0);
    if (file >= m.files() || line.size() < 34 || !digest_of(line.substr(2, 32), digest)
        || block_line(digest, m.file_name(file), block) != line + "\n")
        return false;
    m.blocks.back() = digest;
    return true;
}

// Every file listed, and every block or none.
bool complete(Manifest& m)
{
    if (static_cast<std::int64_t>(m.pieces.size() + m.recovery_pieces.size()) != m.files())
        return false;
    std::int64_t blocks = 0;
    for (std::int64_t file = 0; file < m.files() && !m.blocks.empty(); ++file)
        blocks += m.blocks_of(file);
    return static_cast<std::int64_t>(m.blocks.size()) == blocks;
}

} // namespace

std::int64_t Manifest::piece_bytes(std::int64_t number) const
{
    return std::min(piece_size, size - number * piece_size);
}

std::string Manifest::file_name(std::int64_t file) const
{
    return file < count ? piece_file_name(file) : recovery_file_name(static_cast<int>(file - count));
}

std::int64_t Manifest::file_bytes(std::int64_t file) const { return file < count ? piece_bytes(file) : piece_size; }

const Digest& Manifest::file_digest(std::int64_t file) const
{
    return file < count ? pieces[static_cast<std::size_t>(file)] : recovery_pieces[static_cast<std::size_t>(file - count)];
}

std::int64_t Manifest::block_size() const
{
    return blocks.empty() ? piece_size : block_size_for(piece_size, recovery, count);
}

std::int64_t Manifest::blocks_of(std::int64_t file) const
{
    return (file_bytes(file) + block_size() - 1) / block_size();
}

// Every piece but the last has as many blocks as a recovery piece.
std::int64_t Manifest::block_index(std::int64_t file, std::int64_t block) const
{
    const std::int64_t full = (piece_size + block_size() - 1) / block_size();
    return (file < count ? file * full : (count - 1) * full + blocks_of(count - 1) + (file - count) * full) + block;
}

const Digest& Manifest::block_digest(std::int64_t file, std::int64_t block) const
{
    return blocks.empty() ? file_digest(file) : blocks[static_cast<std::size_t>(block_index(file, block))];
}

std::int64_t block_size_for(std::int64_t piece_size, int recovery, std::int64_t count)
{
    const std::int64_t row = (std::int64_t{7} << 20) / (recovery + 1) / 1024 * 1024;
    const std::int64_t block = std::min({piece_size, std::int64_t{1} << 20, std::max<std::int64_t>(row, 1024)});
    const std::int64_t files = count + recovery;
    if (files <= most_narrow_files)
        return block;
    // Past 256 files, at most about 65,536 blocks are listed, each of a
    // whole number of 4 KiB: the block grows with the run.
    const std::int64_t listed = (piece_size * files / 65536 + 4095) / 4096 * 4096;
    return std::min(piece_size, std::max(block, listed));
}

bool write_manifest(File& file, const Manifest& manifest)
{
    std::string text = header(manifest);
    const auto write_batch = [&](bool last) {
        const bool due = last || text.size() >= (1 << 16);
        const bool written = !due || write_all(file, text.data(), static_cast<std::int64_t>(text.size()));
        if (due)
            text.clear();
        return written;
    };
    const std::int64_t listed = manifest.finished ? manifest.files() : 0;
    for (std::int64_t each = 0; each < listed; ++each)
        if (text += file_line(manifest.file_digest(each), manifest.file_name(each)); !write_batch(false))
            return false;
    for (std::int64_t each = 0; each < listed && !manifest.blocks.empty(); ++each)
        for (std::int64_t block = 0; block < manifest.blocks_of(each); ++block)
            if (text += block_line(manifest.block_digest(each, block), manifest.file_name(each), block);
                !write_batch(false))
                return false;
    return write_batch(true);
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
    return !first && line.empty() && complete(m) ? ManifestRead::read : ManifestRead::malformed;
}
