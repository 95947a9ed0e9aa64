#include "pieces/checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

Digest digest_of(XXH3_state_t* state)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state));
    Digest digest;
    std::copy(canonical.digest, canonical.digest + 16, digest.begin());
    return digest;
}

// Bytes of a file, or zeros where `from` is none.
struct Bytes {
    File* from;
    std::int64_t offset, count;
};

// Copies of a few MiB are done between the copy's own calls: waking a
// thread would cost more.
constexpr std::int64_t worth_a_thread = 4 << 20;

} // namespace

std::string hex_of(const Digest& digest)
{
    std::string text;
    for (const unsigned char byte : digest)
        text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
    return text;
}

struct Checksums::Work {
    XXH3_state_t* piece = XXH3_createState();
    XXH3_state_t* whole = XXH3_createState();
    // The whole as it was when this piece started, and the one before.
    XXH3_state_t* before_this = XXH3_createState();
    XXH3_state_t* before_last = XXH3_createState();
    // Touched only as far as it is used: a run of small pieces keeps little.
    std::unique_ptr<char[]> block{new char[1 << 18]};
    std::vector<char> nothing;
    std::string why;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Bytes> queue;
    bool busy = false, ending = false, failed = false, taking = false;
    std::atomic<bool> stopping{false};
    std::thread thread;
    bool with_whole = true;

    explicit Work(bool with_whole) : with_whole(with_whole)
    {
        XXH3_128bits_reset(piece);
        XXH3_128bits_reset(whole);
        XXH3_copyState(before_this, whole);
    }

    ~Work()
    {
        if (thread.joinable()) {
            {
                std::lock_guard<std::mutex> held(lock);
                ending = true;
            }
            changed.notify_all();
            thread.join();
        }
        XXH3_freeState(piece);
        XXH3_freeState(whole);
        XXH3_freeState(before_this);
        XXH3_freeState(before_last);
    }

    void add(const void* bytes, std::size_t count)
    {
        XXH3_128bits_update(piece, bytes, count);
        if (with_whole)
            XXH3_128bits_update(whole, bytes, count);
    }

    // In whichever thread holds the states: the copy's while none is busy.
    void take(const Bytes& stretch)
    {
        for (std::int64_t done = 0; done < stretch.count && !failed;) {
            // let_go waits for this stretch: a hole of a terabyte must not hold it.
            if (stopping) {
                failed = true, why = "the copy stopped";
                break;
            }
            const std::int64_t want = std::min<std::int64_t>(stretch.count - done, 1 << 18);
            if (!stretch.from && nothing.empty())
                nothing.resize(1 << 18);
            const std::int64_t got =
                stretch.from ? read_at(*stretch.from, block.get(), want, stretch.offset + done) : want;
            // Shorter than what was copied: the file changed under the copy.
            failed = got != want;
            if (failed)
                why = got < 0 ? last_failure_reason() : "it changed while it was read";
            else
                add(stretch.from ? block.get() : nothing.data(), static_cast<std::size_t>(got));
            done += got;
        }
    }

    void run()
    {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [this] { return ending || !queue.empty(); });
            if (queue.empty())
                return;
            const Bytes next = queue.front();
            queue.pop_front();
            taking = true;
            held.unlock();
            take(next);
            held.lock();
            taking = false;
            busy = !queue.empty();
            changed.notify_all();
        }
    }

    void wait()
    {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [this] { return !busy; });
    }

    void post(const Bytes& stretch)
    {
        std::unique_lock<std::mutex> held(lock);
        if (!busy && stretch.count < worth_a_thread) {
            held.unlock();
            take(stretch);
            return;
        }
        if (!thread.joinable())
            thread = std::thread([this] { run(); });
        queue.push_back(stretch);
        busy = true;
        changed.notify_all();
    }
};

Checksums::Checksums(Kind kind) : work_(new Work(kind == pieces_and_whole)) {}
Checksums::~Checksums() = default;

void Checksums::took(const char* bytes, std::int64_t count)
{
    work_->wait();
    work_->add(bytes, static_cast<std::size_t>(count));
}

void Checksums::moved(File& to, std::int64_t offset, std::int64_t count) { work_->post({&to, offset, count}); }

void Checksums::zeros(std::int64_t count) { work_->post({nullptr, 0, count}); }

std::optional<Digest> Checksums::piece_done()
{
    work_->wait();
    const Digest digest = digest_of(work_->piece);
    XXH3_128bits_reset(work_->piece);
    XXH3_copyState(work_->before_last, work_->before_this);
    XXH3_copyState(work_->before_this, work_->whole);
    if (work_->failed)
        return std::nullopt;
    return digest;
}

void Checksums::piece_again()
{
    work_->wait();
    XXH3_128bits_reset(work_->piece);
    XXH3_copyState(work_->whole, work_->before_last);
    XXH3_copyState(work_->before_this, work_->before_last);
    work_->failed = false;
}

std::string Checksums::why() const { return work_->why; }

void Checksums::let_go()
{
    std::unique_lock<std::mutex> held(work_->lock);
    const bool dropped = !work_->queue.empty();
    work_->queue.clear();
    work_->stopping = true;
    work_->busy = work_->taking;
    work_->changed.wait(held, [this] { return !work_->busy; });
    work_->stopping = false;
    // Only now: the thread reads and sets these while it takes a stretch.
    if (dropped)
        work_->failed = true, work_->why = "the copy stopped";
}

Digest Checksums::whole()
{
    work_->wait();
    return digest_of(work_->whole);
}
