#include "pieces/recovery.h"

#include "pieces/erasure.h"
#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/report.h"
#include "pieces/worker.h"

#include <algorithm>
#include <memory>

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

// A run that the process may hold open whole is opened once; a larger one
// (more files than the limit, or Windows), a file at a time in each row, in
// turn. Each of two halves holds at most so many, with room left for the
// program's other files.
std::size_t most_held_open()
{
    return static_cast<std::size_t>(std::clamp<std::int64_t>((most_files_open() - 16) / 2, 0, 1 << 17));
}

// The manifest's files [first, end), read a stretch at a time at the same
// offset in each, zeros past a file's end.
class Files {
public:
    Files(const Manifest& manifest, std::int64_t first, std::int64_t end)
        : manifest_(manifest), first_(first),
          held_(static_cast<std::size_t>(end - first) <= most_held_open() ? static_cast<std::size_t>(end - first) : 0)
    {
    }

    // Bytes [at, at + count) of file `file` into `into`; how many it holds
    // there, the rest left as it was.
    std::int64_t read(std::int64_t file, std::int64_t at, std::int64_t count, unsigned char* into)
    {
        const std::int64_t wanted = std::min(count, manifest_.file_bytes(file) - at);
        if (wanted <= 0)
            return 0;
        File once;
        File& opened = held_.empty() ? once : held_[static_cast<std::size_t>(file - first_)];
        const std::string name = manifest_.file_name(file);
        if (opened.handle == File::no_handle && !open_for_reading(opened, name))
            fail_opening(name);
        const std::int64_t got = read_at(opened, reinterpret_cast<char*>(into), wanted, at);
        if (got < 0)
            fail_reading(name);
        if (got < wanted)
            fail_reading(name, "it changed while it was read");
        return wanted;
    }

private:
    const Manifest& manifest_;
    std::int64_t first_;
    std::vector<File> held_;
};

// One half of the pieces' share of a row of recovery blocks, a stretch at
// a time, with each of its pieces' block checksum: taken with the stretch
// where the block is one stretch, else read once more, first.
class HalfRow {
public:
    HalfRow(const Manifest& manifest, std::int64_t first, std::int64_t end, std::int64_t stretch)
        : manifest_(manifest), field_(field_for(manifest.files())), files_(manifest, first, end), first_(first), end_(end),
          read_(new unsigned char[stretch]), stretch_(stretch)
    {
        for (int row = 0; row < manifest.recovery; ++row) {
            sums_.emplace_back(new unsigned char[stretch]);
            sum_starts_.push_back(sums_.back().get());
            rows_.push_back(row);
        }
        digests.resize(static_cast<std::size_t>(end - first));
    }

    // The block [at, at + count) of each piece, checksummed.
    void check(std::int64_t at, std::int64_t count)
    {
        for (std::int64_t piece = first_; piece < end_; ++piece) {
            sums_of_block_.block_start();
            for (std::int64_t done = 0, got; done < count; done += stretch_) {
                got = files_.read(piece, at + done, std::min(stretch_, count - done), read_.get());
                sums_of_block_.took(reinterpret_cast<const char*>(read_.get()), got);
            }
            digests[static_cast<std::size_t>(piece - first_)] = sums_of_block_.block_done();
        }
    }

    // Stretch [at, at + count) of the row, checksummed too where `whole_block`.
    void take(std::int64_t at, std::int64_t count, bool whole_block)
    {
        for (auto& sum : sums_)
            std::fill(sum.get(), sum.get() + count, 0);
        for (std::int64_t piece = first_; piece < end_; ++piece) {
            const std::int64_t got = files_.read(piece, at, count, read_.get());
            if (got == 0)
                continue;
            if (whole_block)
                digests[static_cast<std::size_t>(piece - first_)] = checksum_of(read_.get(), got);
            const auto factors = column_of(field_, rows_, static_cast<int>(piece));
            multiply_add_rows(field_, factors.data(), factors.size(), read_.get(), sum_starts_.data(),
                              symbol_bytes(field_, read_.get(), static_cast<std::size_t>(got)));
        }
    }

    unsigned char* sum(int row) { return sums_[static_cast<std::size_t>(row)].get(); }
    std::vector<Digest> digests;

private:
    const Manifest& manifest_;
    Field field_;
    Files files_;
    std::int64_t first_, end_;
    Buffer read_;
    std::int64_t stretch_;
    Checksums sums_of_block_{Checksums::one_file};
    std::vector<Buffer> sums_;
    std::vector<unsigned char*> sum_starts_;
    std::vector<int> rows_;
};

// Each file's blocks, in the order the manifest lists them.
void list_blocks(Manifest& manifest, const std::vector<std::vector<Digest>>& by_file)
{
    manifest.blocks.clear();
    for (const auto& blocks : by_file)
        manifest.blocks.insert(manifest.blocks.end(), blocks.begin(), blocks.end());
}

} // namespace

// Both halves' stretch of a row added together, written into each
// recovery piece and checksummed there.
void write_stretch(HalfRow& mine, HalfRow& theirs, std::vector<File>& outs, std::vector<std::unique_ptr<Checksums>>& sums,
                   std::int64_t count)
{
    for (std::size_t row = 0; row < outs.size(); ++row) {
        unsigned char* sum = mine.sum(static_cast<int>(row));
        multiply_add(Field::narrow, 1, theirs.sum(static_cast<int>(row)), sum, static_cast<std::size_t>(count));
        if (!write_all(outs[row], reinterpret_cast<const char*>(sum), count))
            fail_writing(outs[row].name);
        sums[row]->took(reinterpret_cast<const char*>(sum), count);
    }
}

// The block row at `at`, half of the pieces in a second thread: reading them
// from the cache is the work, and it would leave a core idle.
void write_block_row(Worker& other_half, HalfRow& mine, HalfRow& others, std::vector<File>& outs,
                     std::vector<std::unique_ptr<Checksums>>& sums, std::int64_t at, std::int64_t count,
                     std::int64_t stretch)
{
    const bool one_stretch = count <= stretch;
    if (!one_stretch) {
        other_half.hand([&others, at, count] { others.check(at, count); });
        mine.check(at, count);
        other_half.wait();
    }
    for (auto& each : sums)
        each->block_start();
    for (std::int64_t done = 0; done < count; done += stretch) {
        const std::int64_t part = std::min(stretch, count - done);
        other_half.hand([&others, at, done, part, one_stretch] { others.take(at + done, part, one_stretch); });
        mine.take(at + done, part, one_stretch);
        other_half.wait();
        write_stretch(mine, others, outs, sums, part);
    }
}

void write_recovery_pieces(Manifest& manifest, std::vector<File>& outs, std::int64_t memory)
{
    const std::int64_t block = block_size_for(manifest.piece_size, manifest.recovery, manifest.count);
    const std::int64_t half = manifest.count / 2;
    // Each half's buffers, one a recovery piece and one read, stay within
    // half the memory.
    const std::int64_t fits = memory / 2 / (manifest.recovery + 1) / 4096 * 4096;
    const std::int64_t stretch = std::min(block, std::max<std::int64_t>(fits, 4096));
    HalfRow mine(manifest, 0, half, stretch), others(manifest, half, manifest.count, stretch);
    std::vector<std::vector<Digest>> blocks(static_cast<std::size_t>(manifest.files()));
    std::vector<std::unique_ptr<Checksums>> sums;
    for (int row = 0; row < manifest.recovery; ++row)
        sums.emplace_back(new Checksums(Checksums::one_file));
    {
        Worker other_half;
        for (std::int64_t at = 0; at < manifest.piece_size; at += block) {
            stop_if_interrupted();
            const std::int64_t count = std::min(block, manifest.piece_size - at);
            write_block_row(other_half, mine, others, outs, sums, at, count, stretch);
            for (std::int64_t piece = 0; piece < manifest.count; ++piece)
                if (at < manifest.piece_bytes(piece))
                    blocks[static_cast<std::size_t>(piece)].push_back(
                        (piece < half ? mine : others).digests[static_cast<std::size_t>(piece < half ? piece : piece - half)]);
            for (int row = 0; row < manifest.recovery; ++row)
                blocks[static_cast<std::size_t>(manifest.count + row)].push_back(sums[static_cast<std::size_t>(row)]->block_done());
            report().moved(count);
        }
    }
    manifest.recovery_pieces.clear();
    for (auto& each : sums)
        manifest.recovery_pieces.push_back(each->piece_done());
    list_blocks(manifest, blocks);
}

namespace {

// What each recovery piece of a row holds, less the whole pieces' share:
// worked out by every core, each thread into syndromes of its own, added
// together after, the same bytes however the pieces fell to the threads.
// A few pieces are not worth a second thread. Each thread's buffers, one
// for each recovery piece taken and one read, and the output's, stay
// within 16 MiB.
class Syndromes {
public:
    Syndromes(const Manifest& manifest, const std::vector<std::int64_t>& lost, const std::vector<int>& rows)
        : manifest_(manifest), lost_(lost), rows_(rows), field_(field_for(manifest.files())),
          threads_(std::clamp<std::size_t>(static_cast<std::size_t>(manifest.count / 16), 1, threads_to_use())),
          helpers_(threads_ - 1), sums_(threads_), starts_(threads_)
    {
        const auto buffers = static_cast<std::int64_t>((rows.size() + 1) * threads_ + 1);
        stretch = std::clamp<std::int64_t>((std::int64_t{16} << 20) / buffers / 4096 * 4096, 4096, 1 << 18);
        for (std::size_t thread = 0; thread < threads_; ++thread) {
            for (std::size_t r = 0; r < rows.size(); ++r)
                starts_[thread].push_back(sums_[thread].emplace_back(new unsigned char[stretch]).get());
            reads_.emplace_back(new unsigned char[stretch]);
        }
    }

    // Over `symbols` bytes at `at`; row r's in of(r).
    void work_out(Files& files, std::int64_t at, std::int64_t symbols)
    {
        for (std::size_t thread = 0; thread < threads_; ++thread)
            for (std::size_t r = 0; r < rows_.size(); ++r)
                if (thread > 0 || files.read(manifest_.count + rows_[r], at, symbols, of(r)) < symbols)
                    std::fill(starts_[thread][r], starts_[thread][r] + symbols, 0);
        share_out(helpers_, static_cast<std::size_t>(manifest_.count), [&](std::size_t piece, std::size_t thread) {
            if (std::count(lost_.begin(), lost_.end(), static_cast<std::int64_t>(piece)) > 0)
                return;
            unsigned char* read = reads_[thread].get();
            const std::int64_t got = files.read(static_cast<std::int64_t>(piece), at, symbols, read);
            const auto factors = column_of(field_, rows_, static_cast<int>(piece));
            multiply_add_rows(field_, factors.data(), factors.size(), read, starts_[thread].data(),
                              symbol_bytes(field_, read, static_cast<std::size_t>(got)));
        });
        for (std::size_t thread = 1; thread < threads_; ++thread)
            for (std::size_t r = 0; r < rows_.size(); ++r)
                multiply_add(Field::narrow, 1, starts_[thread][r], of(r), static_cast<std::size_t>(symbols));
    }

    unsigned char* of(std::size_t r) { return starts_[0][r]; }
    std::int64_t stretch = 0;

private:
    const Manifest& manifest_;
    const std::vector<std::int64_t>& lost_;
    const std::vector<int>& rows_;
    Field field_;
    std::size_t threads_;
    std::vector<Worker> helpers_;
    std::vector<std::vector<Buffer>> sums_;
    std::vector<std::vector<unsigned char*>> starts_;
    std::vector<Buffer> reads_;
};

} // namespace

void rebuild_bytes(const Manifest& manifest, const std::vector<std::int64_t>& lost, const std::vector<int>& rows,
                   std::size_t wanted, std::int64_t at, std::int64_t length, const Take& take)
{
    const Field field = field_for(manifest.files());
    const auto inverse = inverse_of(field, rows, std::vector<int>(lost.begin(), lost.end()));
    Files files(manifest, 0, manifest.files());
    Syndromes syndromes(manifest, lost, rows);
    const Buffer out(new unsigned char[syndromes.stretch]);
    for (std::int64_t done = 0; done < length; done += syndromes.stretch) {
        stop_if_interrupted();
        const std::int64_t count = std::min(syndromes.stretch, length - done);
        // An odd end (the last piece's) is a whole symbol of every file.
        syndromes.work_out(files, at + done, field == Field::wide ? count + count % 2 : count);
        for (std::size_t each = 0; each < wanted; ++each) {
            const std::int64_t bytes = std::min(count, manifest.piece_bytes(lost[each]) - at - done);
            if (bytes <= 0)
                continue;
            const std::int64_t work = field == Field::wide ? bytes + bytes % 2 : bytes;
            std::fill(out.get(), out.get() + work, 0);
            for (std::size_t r = 0; r < rows.size(); ++r)
                multiply_add(field, inverse[each][r], syndromes.of(r), out.get(), static_cast<std::size_t>(work));
            take(each, at + done, out.get(), bytes);
        }
    }
}
