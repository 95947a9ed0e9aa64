#include "pieces/piece_files.h"

#include "pieces/files.h"
#include "pieces/run_names.h"

#include <algorithm>
#include <charconv>

namespace {

bool same_letters(const std::string& name, std::size_t at, const char* letters)
{
    for (; *letters != '\0'; ++at, ++letters) {
        const char c = at < name.size() ? name[at] : '\0';
        const char folded = names_ignore_case && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (folded != *letters)
            return false;
    }
    return true;
}

} // namespace

// Not rounded up by adding: a size a manifest claims may be the largest there is.
std::int64_t piece_count(std::int64_t size, std::int64_t piece_size)
{
    return size / piece_size + (size % piece_size != 0);
}


std::string listed(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::optional<std::int64_t> piece_number_of(const std::string& name)
{
    if (name.size() < 9 || !same_letters(name, 0, "FILE") || !same_letters(name, name.size() - 4, ".SPL"))
        return std::nullopt;
    const char* digits = name.data() + 4;
    const char* end = name.data() + name.size() - 4;
    // FILE01.SPL is not FILE1.SPL, nor FILE-0.SPL FILE0.SPL: no split ever
    // names a piece so.
    if (digits[0] < '0' || digits[0] > '9' || (digits[0] == '0' && end - digits > 1))
        return std::nullopt;
    std::int64_t number = 0;
    const auto read = std::from_chars(digits, end, number);
    if (read.ec != std::errc() || read.ptr != end)
        return std::nullopt;
    return number;
}

PiecesHere pieces_here()
{
    std::vector<PieceHere> pieces;
    const auto take = [](const Entry& entry, void* context) {
        if (const auto number = piece_number_of(entry.name))
            static_cast<std::vector<PieceHere>*>(context)->push_back(
                {*number, entry.number.value_or(0), entry.number.has_value(), entry.kind});
    };
    if (!each_name_here(take, &pieces))
        return std::nullopt;
    const auto by_number = [](const PieceHere& a, const PieceHere& b) { return a.number < b.number; };
    std::sort(pieces.begin(), pieces.end(), by_number);
    // Under wine, a folder on Linux may hold file1.spl beside FILE1.SPL: which
    // of them the name opens is not told, so neither's file is.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (kept > 0 && pieces[kept - 1].number == pieces[i].number)
            pieces[kept - 1].file_number_told = false, pieces[kept - 1].kind = std::nullopt;
        else
            pieces[kept++] = pieces[i];
    }
    pieces.resize(kept);
    return pieces;
}

std::optional<PieceSpan> pieces_past(const std::vector<PieceHere>& here, std::int64_t count)
{
    if (here.empty() || here.back().number < count)
        return std::nullopt;
    const auto first = std::find_if(here.begin(), here.end(), [&](const PieceHere& p) { return p.number >= count; });
    return PieceSpan{first->number, here.back().number};
}

std::optional<std::string> run_file_that_is(const FileId& id, std::int64_t count, const PiecesHere& here,
                                            int recovery)
{
    // The listing tells the number of a name's own file: a link's is not
    // the number of the file it leads to.
    const auto is = [&](const std::string& name, const PieceHere* listed) {
        if (listed && listed->kind && *listed->kind != NameInfo::link && listed->file_number_told && listed->told_file_number != id.number)
            return false;
        return identity_of(name) == id;
    };
    if (!here) {
        for (std::int64_t number = 0; number < count; ++number)
            if (is(piece_file_name(number), nullptr))
                return piece_file_name(number);
    } else {
        for (const PieceHere& piece : *here)
            if (piece.number < count && is(piece_file_name(piece.number), &piece))
                return piece_file_name(piece.number);
    }
    if (is(manifest_name, nullptr))
        return manifest_name;
    for (int index = 0; index < recovery; ++index)
        if (is(recovery_file_name(index), nullptr))
            return recovery_file_name(index);
    return std::nullopt;
}
