#include "pieces/split_rows.h"

#include "pieces/erasure.h"
#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/report.h"
#include "pieces/worker.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

// A stretch stays in the processor's cache from its read to its last use;
// a few of them are in flight between the two threads. Each file's
// written bytes are sent on to the disk so many at a time.
constexpr std::int64_t stretch_most = 1 << 17;
constexpr int stretches_in_flight = 8;
// Each file's checksums take some 4 KiB while the rows go: past so many
// files, the pieces are written in turn.
constexpr std::int64_t most_files_by_rows = 2048;
constexpr std::int64_t sent_every = 8 << 20;

using Bytes = std::unique_ptr<unsigned char[]>;

char* chars(const Bytes& bytes) { return reinterpret_cast<char*>(bytes.get()); }

// A stretch of one piece, and where it stands in its row of the recovery
// pieces (`row_count` bytes of each) and in its block; the piece's block
// may end before the row's, at the piece's end.
struct Slice {
    Bytes bytes{new unsigned char[stretch_most]};
    std::int64_t piece = 0, count = 0, row_count = 0;
    bool row_starts = false, row_ends = false, block_starts = false, block_ends = false, piece_block_ends = false;
};

// The checksums of the pieces and their blocks, and the recovery pieces,
// worked out and written in a thread of their own from the slices the
// split has written and hands on, in their order: the thread that reads
// and writes does nothing else.
class RowChecks {
public:
    RowChecks(const Manifest& manifest, std::vector<File>& outs)
        : field_(field_for(manifest.files())), outs_(outs), slices_(stretches_in_flight),
          blocks_(static_cast<std::size_t>(manifest.files())),
          // The main thread reads and writes, this one checks: the cores
          // beyond those two help where there is arithmetic to share.
          helpers_(manifest.recovery >= 4 && threads_to_use() > 2 ? threads_to_use() - 2 : 0)
    {
        for (std::int64_t file = 0; file < manifest.files(); ++file)
            checksums_.emplace_back(new Checksums(Checksums::one_file));
        for (std::size_t row = 0; row < outs.size(); ++row) {
            sums_.emplace_back(new unsigned char[stretch_most]);
            sum_starts_.push_back(sums_.back().get());
            all_rows_.push_back(static_cast<int>(row));
        }
    }

    // A slice to fill, once one is free: the slices are handed round in
    // turn, and the worker takes them in the order handed. What failed in
    // the worker fails here.
    Slice& free_slice()
    {
        worker_.wait(slices_.size() - 1);
        return slices_[next_++ % slices_.size()];
    }

    void hand(Slice& slice)
    {
        worker_.hand([this, &slice] { take(slice); });
    }

    // Once every slice handed is worked in: the checksums of the pieces,
    // the recovery pieces and every block, into the manifest.
    void finish(Manifest& manifest)
    {
        worker_.wait();
        manifest.pieces.clear(), manifest.recovery_pieces.clear(), manifest.blocks.clear();
        for (std::int64_t file = 0; file < manifest.files(); ++file) {
            const Digest digest = checksums_[static_cast<std::size_t>(file)]->piece_done();
            (file < manifest.count ? manifest.pieces : manifest.recovery_pieces).push_back(digest);
            const auto& blocks = blocks_[static_cast<std::size_t>(file)];
            manifest.blocks.insert(manifest.blocks.end(), blocks.begin(), blocks.end());
        }
    }

private:
    void take(Slice& slice)
    {
        checksum(static_cast<std::size_t>(slice.piece), chars(slice.bytes), slice.count, slice.block_starts,
                 slice.piece_block_ends);
        if (slice.row_starts)
            for (const Bytes& sum : sums_)
                std::fill(sum.get(), sum.get() + slice.row_count, 0);
        const auto factors = column_of(field_, all_rows_, static_cast<int>(slice.piece));
        const std::size_t symbols = symbol_bytes(field_, slice.bytes.get(), static_cast<std::size_t>(slice.count));
        // The recovery pieces in groups, spread over the cores left: each
        // group's bytes are its own, whichever thread works them out.
        const std::size_t rows = factors.size(), groups = std::min(rows, 4 * (helpers_.size() + 1));
        share_out(helpers_, groups, [&](std::size_t group, std::size_t) {
            const std::size_t first = rows * group / groups, end = rows * (group + 1) / groups;
            multiply_add_rows(field_, factors.data() + first, end - first, slice.bytes.get(), sum_starts_.data() + first,
                              symbols);
        });
        if (slice.row_ends)
            write_row(slice);
    }

    void checksum(std::size_t file, const char* bytes, std::int64_t count, bool block_starts, bool block_ends)
    {
        Checksums& checksums = *checksums_[file];
        if (block_starts)
            checksums.block_start();
        checksums.took(bytes, count);
        if (block_ends)
            blocks_[file].push_back(checksums.block_done());
    }

    void write_row(const Slice& last)
    {
        const std::int64_t count = last.row_count;
        const std::size_t pieces = checksums_.size() - outs_.size();
        for (std::size_t row = 0; row < outs_.size(); ++row) {
            if (!write_all(outs_[row], chars(sums_[row]), count))
                fail_writing(outs_[row].name);
            checksum(pieces + row, chars(sums_[row]), count, last.block_starts, last.block_ends);
        }
    }

    Field field_;
    std::vector<File>& outs_;
    std::vector<Slice> slices_;
    std::vector<Bytes> sums_;
    std::vector<unsigned char*> sum_starts_;
    std::vector<int> all_rows_;
    std::vector<std::unique_ptr<Checksums>> checksums_;
    std::vector<std::vector<Digest>> blocks_;
    std::size_t next_ = 0;  // the slice to fill next, of all handed round
    std::vector<Worker> helpers_;  // the worker's own
    Worker worker_;  // last: it stops before what its jobs use goes
};

// The whole source's checksum, which takes its bytes in their own order,
// read again in a thread of its own: from the cache, where the split's
// reads have just put them.
class WholeInThread {
public:
    WholeInThread(File& source, std::int64_t start, std::int64_t size) : source_(source), start_(start), size_(size)
    {
        worker_.hand([this] { run(); });
    }

    ~WholeInThread() { stop_ = true; }

    Digest digest()
    {
        worker_.wait();
        return digest_;
    }

private:
    void run()
    {
        Checksums sums(Checksums::one_file);
        const Bytes bytes(new unsigned char[stretch_most]);
        for (std::int64_t at = 0; at < size_ && !stop_; at += stretch_most) {
            const std::int64_t count = std::min(stretch_most, size_ - at);
            const std::int64_t got = read_at(source_, chars(bytes), count, start_ + at);
            if (got < 0)
                fail_reading(source_.name);
            if (got < count)
                fail_changed(source_);
            sums.took(chars(bytes), count);
        }
        digest_ = sums.piece_done();
    }

    File& source_;
    std::int64_t start_, size_;
    std::atomic<bool> stop_{false};
    Digest digest_{};
    Worker worker_;  // last: it stops before what its job uses goes
};

} // namespace

[[noreturn]] void fail_changed(const File& source) { fail("Error : " + source.name + " changed while it was split\n"); }

bool splits_by_rows(File& source, const Manifest& plan, CopyWays ways)
{
    // Every piece and recovery piece open at once, with room for the
    // program's own files.
    const std::int64_t held = plan.count + plan.recovery + 16;
    return plan.recovery > 0 && plan.files() <= most_files_by_rows && plan.piece_size >= stretch_most
           && held <= most_files_open() && disk_way(source, ways) == Way::buffered
           && is_regular(source) && position_of(source) >= 0;
}

namespace {

// Every piece's stretch of a row read from the source, written, and
// handed on to be checked.
class PieceRows {
public:
    PieceRows(File& source, std::int64_t start, const Manifest& manifest, std::vector<File>& pieces)
        : source_(source), manifest_(manifest), pieces_(pieces), start_(start)
    {
    }

    // Bytes [at, at + count) of every piece that has them, as a row.
    void row(RowChecks& checks, std::int64_t at, std::int64_t count, bool block_starts, bool block_ends)
    {
        for (std::int64_t piece = 0; piece < manifest_.count; ++piece) {
            const std::int64_t bytes = std::min(count, manifest_.piece_bytes(piece) - at);
            if (bytes <= 0)
                break;
            stop_if_interrupted();
            Slice& slice = checks.free_slice();
            slice.piece = piece, slice.count = bytes, slice.row_count = count;
            slice.row_starts = piece == 0;
            slice.row_ends = piece + 1 == manifest_.count || manifest_.piece_bytes(piece + 1) <= at;
            slice.block_starts = block_starts, slice.block_ends = block_ends;
            slice.piece_block_ends = block_ends || at + bytes == manifest_.piece_bytes(piece);
            copy(slice, at);
            checks.hand(slice);
        }
    }

    // Written bytes before `end` of each piece, and of each recovery piece
    // as far as it is written, go on to the disk; from this thread alone,
    // so that a test can stop the split at the Nth such call.
    void send_on(std::int64_t end, std::vector<File>& outs)
    {
        for (std::int64_t piece = 0; piece < manifest_.count; ++piece)
            write_back(pieces_[static_cast<std::size_t>(piece)], std::min(end, manifest_.piece_bytes(piece)));
        for (File& out : outs)
            write_back(out, end);
    }

private:
    void copy(Slice& slice, std::int64_t at)
    {
        File& to = pieces_[static_cast<std::size_t>(slice.piece)];
        const std::int64_t got =
            read_at(source_, chars(slice.bytes), slice.count, start_ + slice.piece * manifest_.piece_size + at);
        if (got < 0)
            fail_reading(source_.name);
        if (got < slice.count)
            fail_changed(source_);
        if (!write_all(to, chars(slice.bytes), slice.count))
            fail_writing(to.name);
        report().moved(slice.count);
    }

    File& source_;
    const Manifest& manifest_;
    std::vector<File>& pieces_;
    std::int64_t start_;
};

} // namespace

Digest split_by_rows(File& source, Manifest& manifest, std::vector<File>& pieces, std::vector<File>& outs)
{
    const std::int64_t block = block_size_for(manifest.piece_size, manifest.recovery, manifest.count);
    // The recovery pieces' stretches and those in flight stay within 16 MiB.
    const std::int64_t fits = (std::int64_t{16} << 20) / (manifest.recovery + stretches_in_flight) / 4096 * 4096;
    const std::int64_t stretch = std::min({block, stretch_most, std::max<std::int64_t>(fits, 4096)});
    const std::int64_t start = position_of(source);
    PieceRows piece_rows(source, start, manifest, pieces);
    WholeInThread whole(source, start, manifest.size);
    {
        RowChecks checks(manifest, outs);
        for (std::int64_t at = 0; at < manifest.piece_size; at += block) {
            const std::int64_t block_end = std::min(at + block, manifest.piece_size);
            for (std::int64_t x = at; x < block_end; x += stretch) {
                const std::int64_t count = std::min(stretch, block_end - x);
                piece_rows.row(checks, x, count, x == at, x + count == block_end);
            }
            if (block_end / sent_every > at / sent_every)
                piece_rows.send_on(block_end, outs);
        }
        checks.finish(manifest);
    }
    return whole.digest();
}
