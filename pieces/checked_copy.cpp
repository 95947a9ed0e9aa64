#include "pieces/checked_copy_parts.h"

#include "pieces/failure.h"
#include "pieces/piece_files.h"
#include "pieces/report.h"

namespace checked {


[[noreturn]] void fail_damaged(const std::string& piece_name)
{
    fail("Error : " + piece_name + " is damaged: it differs from " + manifest_name + "\n");
}

// A piece that differs from what was checked a moment before, or that its
// size or times show changed while it was read, is named as changed.
[[noreturn]] void fail_changed_or_damaged(File& piece, bool checked_before)
{
    if (checked_before || changed_since_opened(piece))
        fail_reading(piece.name, "it changed while it was read");
    fail_damaged(piece.name);
}


void CheckedCopy::find_lost_files()
{
    for (std::int64_t file = 0; file < manifest_.files(); ++file) {
        const NameInfo found = about(manifest_.file_name(file), true);
        if (found.kind == NameInfo::none || (file >= manifest_.count && found.kind != NameInfo::regular))
            states_[static_cast<std::size_t>(file)] = State::missing;
        else if (found.kind == NameInfo::regular && found.size != manifest_.file_bytes(file))
            states_[static_cast<std::size_t>(file)] = State::wrong_size;
    }
}

// Pieces lost whole are lost in every row: too many are refused at once.
void CheckedCopy::refuse_what_no_row_can_rebuild()
{
    std::vector<std::int64_t> pieces, spares;
    for (std::int64_t file = 0; file < manifest_.files(); ++file)
        if (state(file) != State::whole)
            (file < manifest_.count ? pieces : spares).push_back(file);
    if (!pieces.empty() && pieces.size() + spares.size() > static_cast<std::size_t>(manifest_.recovery))
        fail_row(pieces, spares);
}


void CheckedCopy::copy_piece(std::int64_t number)
{
    const std::string name = piece_file_name(number);
    // A piece with blocks rebuilt ahead must not be copied over them.
    const auto ahead = ahead_.lower_bound({number, 0});
    if (state(number) != State::whole || known_.pieces.count(number) > 0
        || (ahead != ahead_.end() && ahead->first.first == number))
        return restream(number);
    File piece;
    if (!open_for_reading(piece, name)) {
        if (about(name).kind != NameInfo::none)
            fail_opening(name);
        if (!manifest_.recovery)
            fail("Error : " + name + " is missing\n");
        states_[static_cast<std::size_t>(number)] = State::missing;
        refuse_what_no_row_can_rebuild();
        return restream(number);
    }
    const std::int64_t bytes = manifest_.piece_bytes(number);
    if (piece.size != bytes && !manifest_.recovery)
        fail_damaged(name);
    // Its size changed since the run was looked at: damaged, as a piece
    // found so then is, and never copied past the manifest's size.
    if (piece.size != bytes) {
        states_[static_cast<std::size_t>(number)] = State::wrong_size;
        refuse_what_no_row_can_rebuild();
        return restream(number);
    }
    // Asked only where a damaged piece can be taken again: many small
    // pieces cost one call each less.
    const std::int64_t start = output_ && manifest_.recovery ? position_of(*output_) : 0;
    if (output_)
        report().piece(name, number, manifest_.count, bytes);
    const std::int64_t copied = DataCopy(piece, &sums_, ways_).into(output_, bytes);
    if (sums_.piece_done() == manifest_.pieces[static_cast<std::size_t>(number)] && copied == bytes) {
        copied_whole_[static_cast<std::size_t>(number)] = true;
        return;
    }
    // Its place in the output is taken again, where the output can go back:
    // one that cannot had a dry run first, which found the piece whole, so
    // it changed since.
    if (output_ && (!can_rewind(*output_) || start < 0 || !move_to(*output_, start)))
        fail_changed_or_damaged(piece, !manifest_.recovery || !can_rewind(*output_));
    if (!manifest_.recovery)
        fail_changed_or_damaged(piece, false);
    sums_.piece_again();
    restream(number, output_ != nullptr);
}

// Every piece was whole: the recovery pieces are looked at only to say
// whether they could have served.
void CheckedCopy::check_recovery_pieces()
{
    for (int index = 0; index < manifest_.recovery; ++index) {
        const std::int64_t file = manifest_.count + index;
        const std::string name = manifest_.file_name(file);
        if (state(file) == State::missing)
            notes_.unusable.push_back(
                {name, about(name, true).kind == NameInfo::none ? Report::Unusable::missing : Report::Unusable::not_a_file});
        else if (state(file) != State::whole || !recovery_check_ || !recovery_check_->whole(index))
            notes_.unusable.push_back({name, Report::Unusable::damaged});
    }
}

// The output holds the run and nothing past it, whatever a piece did
// while it was read.
void CheckedCopy::end_output()
{
    const std::int64_t end = origin_ + manifest_.size, at = position_of(*output_);
    if (at != end)
        fail("Error Writing the file : " + output_->name + " (it holds " + std::to_string(at - origin_) + " of its "
             + std::to_string(manifest_.size) + " bytes)\n");
    if (size_now(*output_) > end && !set_size(*output_, end))
        fail_writing(output_->name);
}


CheckedCopyNotes CheckedCopy::run()
{
    origin_ = output_ ? position_of(*output_) : 0;
    if (manifest_.recovery) {
        find_lost_files();
        refuse_what_no_row_can_rebuild();
        bool pieces_whole = known_.pieces.empty();
        for (std::int64_t piece = 0; piece < manifest_.count; ++piece)
            pieces_whole = pieces_whole && state(piece) == State::whole;
        std::vector<bool> to_read;
        for (int index = 0; index < manifest_.recovery; ++index)
            to_read.push_back(state(manifest_.count + index) == State::whole);
        if (pieces_whole)
            recovery_check_.emplace(manifest_, std::move(to_read));
    }
    for (std::int64_t number = 0; number < manifest_.count; ++number)
        copy_piece(number);
    if (sums_.whole() != manifest_.whole)
        fail("Error : the joined pieces differ from the file that was split, by " + manifest_name + "\n");
    if (output_ && can_rewind(*output_))
        end_output();
    if (manifest_.recovery && notes_.repairs.empty())
        check_recovery_pieces();
    return notes_;
}

} // namespace checked


CheckedCopyNotes copy_checked(File& output, const Manifest& manifest, CopyWays ways)
{
    // An output that cannot take back what it was sent is sent only what a
    // dry run vouched for, rebuilt where need be.
    checked::Damage damage;
    if (!can_rewind(output)) {
        checked::CheckedCopy dry(nullptr, manifest, ways, {});
        dry.run();
        damage = dry.damage();
    }
    return checked::CheckedCopy(&output, manifest, ways, damage).run();
}
