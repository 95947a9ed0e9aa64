#include "pieces/room.h"

#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/recovery.h"
#include "pieces/sizes.h"

namespace {

std::string at_most(const Room& room)
{
    return "Error : this disk holds files of at most " + std::to_string(*room.largest_file) + " bytes; ";
}

[[noreturn]] void fail_no_room(const std::string& what, std::int64_t need, const std::string& where, const Room& room)
{
    fail("Error : " + what + " " + size_text(need) + ", and " + where + " has " + size_text(*room.free) + " free\n");
}

// What the pieces here that the split overwrites take now, and the manifest.
std::int64_t freed_by(const Manifest& plan, const PiecesHere& here)
{
    std::int64_t freed = allocated_of(manifest_name) + (plan.recovery ? allocated_of(recovery_name) : 0);
    if (!here)
        return freed;
    for (const PieceHere& piece : *here)
        if (piece.number < plan.count)
            freed += allocated_of(piece_file_name(piece.number));
    return freed;
}

// What a run's pieces take on their disk: their holes stay holes.
std::int64_t allocated_to(std::int64_t count)
{
    std::int64_t taken = 0;
    for (std::int64_t number = 0; number < count; ++number)
        taken += allocated_of(piece_file_name(number));
    return taken;
}

} // namespace

void refuse_pieces_that_cannot_fit(const File& source, const Manifest& plan, const PiecesHere& here,
                                   const Room& room)
{
    if (room.largest_file && std::min(plan.piece_size, source.size) > *room.largest_file)
        fail(at_most(room) + "the largest piece size that fits is " + std::to_string(*room.largest_file / 1024)
             + " KB\n");
    if (!room.free || (room.shares_copies && room.device == source.id.device))
        return;
    const std::int64_t data = source.has_holes && room.keeps_holes ? std::min(source.allocated, source.size)
                                                                    : source.size;
    // A manifest's line is 45 bytes and a piece's name; a few more for its
    // first line.
    const std::int64_t need = data + plan.count * 64 + 4096 + (plan.recovery ? plan.piece_size : 0);
    // Old pieces are asked about only where the new ones may not fit: each
    // costs a call.
    if (need <= *room.free)
        return;
    const std::int64_t more = need - freed_by(plan, here);
    if (more > *room.free)
        fail_no_room("the pieces need", more, "this disk", room);
}

void refuse_an_output_that_cannot_fit(const std::string& output_name, const Manifest& run, const Room& room)
{
    if (room.largest_file && run.size > *room.largest_file)
        fail(at_most(room) + output_name + " would hold " + std::to_string(run.size) + "\n");
    const auto pieces = identity_of(".");
    if (!room.free || run.size <= *room.free || (room.shares_copies && pieces && pieces->device == room.device))
        return;
    const std::int64_t need = room.keeps_holes ? std::min(run.size, allocated_to(run.count)) : run.size;
    if (need > *room.free)
        fail_no_room(output_name + " needs", need, "its disk", room);
}
