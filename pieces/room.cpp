#include "pieces/room.h"

#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/recovery.h"
#include "pieces/sizes.h"

#include <algorithm>
#include <functional>

namespace {

std::string at_most(const Room& room)
{
    return "Error : this disk holds files of at most " + std::to_string(*room.largest_file) + " bytes; ";
}

[[noreturn]] void fail_no_room(const std::string& what, std::int64_t need, const std::string& where, const Room& room)
{
    fail("Error : " + what + " " + size_text(need) + ", and " + where + " has " + size_text(*room.free) + " free\n");
}

std::int64_t rounded(std::int64_t bytes, std::int64_t unit) { return (bytes + unit - 1) / unit * unit; }

// What the pieces here that the split overwrites take now, and the manifest.
std::int64_t freed_by(const Manifest& plan, const PiecesHere& here)
{
    std::int64_t freed = about(manifest_name).allocated;
    for (int index = 0; index < plan.recovery; ++index)
        freed += about(recovery_file_name(index)).allocated;
    if (!here)
        return freed;
    for (const PieceHere& piece : *here)
        if (piece.number < plan.count)
            freed += about(piece_file_name(piece.number)).allocated;
    return freed;
}

// The files a split makes: the pieces not here yet, the manifest's
// replacement, and a new recovery piece.
void refuse_too_many_files(const Manifest& plan, const PiecesHere& here, const Room& room)
{
    if (!room.free_files || !here)
        return;
    std::int64_t need = plan.count + 1;
    for (int index = 0; index < plan.recovery; ++index)
        need += about(recovery_file_name(index)).kind == NameInfo::none;
    for (const PieceHere& piece : *here)
        need -= piece.number < plan.count;
    if (need > *room.free_files)
        fail("Error : the pieces need " + std::to_string(need) + " new files, and this disk has room for "
             + std::to_string(*room.free_files) + " more\n");
}

// What the pieces take: where holes stay holes, the source's data and a
// unit where each piece may cut one; else every piece in whole units.
std::int64_t pieces_take(const File& source, const Manifest& plan, const Room& room)
{
    if (source.has_holes && room.keeps_holes)
        return std::min(source.allocated, source.size) + plan.count * room.unit;
    const std::int64_t last = plan.count > 0 ? plan.piece_bytes(plan.count - 1) : 0;
    return std::max<std::int64_t>(plan.count - 1, 0) * rounded(plan.piece_size, room.unit) + rounded(last, room.unit);
}

// What the output takes where holes stay holes: each piece's data as it
// stands, and in full a piece not there at its size, or one rebuilt.
std::int64_t output_takes(const std::vector<std::int64_t>& sizes, int recovery)
{
    std::int64_t need = 0;
    std::vector<std::int64_t> rebuilt;  // what each piece would add, rebuilt in full
    for (std::size_t number = 0; number < sizes.size(); ++number) {
        const NameInfo piece = about(piece_file_name(static_cast<std::int64_t>(number)), true);
        const std::int64_t taken = piece.kind == NameInfo::regular && piece.size == sizes[number]
                                       ? std::min(sizes[number], piece.allocated)
                                       : sizes[number];
        need += taken;
        rebuilt.push_back(sizes[number] - taken);
    }
    const auto most = rebuilt.begin() + std::min<std::ptrdiff_t>(recovery, static_cast<std::ptrdiff_t>(rebuilt.size()));
    std::partial_sort(rebuilt.begin(), most, rebuilt.end(), std::greater<>());
    for (auto each = rebuilt.begin(); each != most; ++each)
        need += *each;
    return need;
}

} // namespace

void refuse_pieces_that_cannot_fit(const File& source, const Manifest& plan, const PiecesHere& here,
                                   const Room& room)
{
    if (room.largest_file && std::min(plan.piece_size, source.size) > *room.largest_file)
        fail(at_most(room) + "the largest piece size that fits is " + std::to_string(*room.largest_file / 1024)
             + " KB\n");
    refuse_too_many_files(plan, here, room);
    if (!room.free || (room.shares_copies && room.device == source.id.device))
        return;
    // A manifest's line is 45 bytes and a piece's name; a few more for its
    // first line.
    const std::int64_t need = pieces_take(source, plan, room) + rounded(plan.count * 64 + 4096, room.unit)
                              + plan.recovery * rounded(plan.piece_size, room.unit);
    // Old pieces are asked about only where the new ones may not fit: each
    // costs a call.
    if (need <= *room.free)
        return;
    const std::int64_t more = need - freed_by(plan, here);
    if (more > *room.free)
        fail_no_room("the pieces need", more, "this disk", room);
}

void refuse_an_output_that_cannot_fit(const std::string& output_name, const std::vector<std::int64_t>& sizes,
                                      int recovery, const Room& room)
{
    std::int64_t size = 0;
    for (const std::int64_t piece : sizes)
        size += piece;
    if (room.largest_file && size > *room.largest_file)
        fail(at_most(room) + output_name + " would hold " + std::to_string(size) + "\n");
    const auto pieces = identity_of(".");
    if (!room.free || size <= *room.free || (room.shares_copies && pieces && pieces->device == room.device))
        return;
    const std::int64_t need = room.keeps_holes ? output_takes(sizes, recovery) : size;
    if (need > *room.free)
        fail_no_room(output_name + " needs", need, "its disk", room);
}
