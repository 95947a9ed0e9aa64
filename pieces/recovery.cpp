#include "pieces/recovery.h"

#include "pieces/failure.h"
#include "pieces/interruption.h"
#include "pieces/report.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

const std::string recovery_name = "FILES.REV";

namespace {

constexpr std::int64_t block_size = 1 << 19;

// A plain loop, which the compiler turns into vector instructions.
void xor_into(unsigned char* into, const unsigned char* from, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        into[i] ^= from[i];
}

// Many files are opened once a block, not all at once: a run may have more
// pieces than a process may hold open. Each of two halves holds at most so
// many, with room left for the program's other files.
std::size_t most_held_open()
{
    return static_cast<std::size_t>(std::clamp<std::int64_t>((most_files_open() - 16) / 2, 0, 128));
}

// The XOR of the files [first, end) of a list, a block at a time.
class XorOfFiles {
public:
    XorOfFiles(const std::vector<std::string>& names, const std::vector<std::int64_t>& sizes, std::size_t first,
               std::size_t end)
        : names_(names), sizes_(sizes), first_(first), end_(end), held_(end - first <= most_held_open() ? end - first : 0)
    {
    }

    // Bytes [at, at + count) of the XOR; fails the program as a file that
    // cannot be read.
    unsigned char* block(std::int64_t at, std::int64_t count)
    {
        std::fill(sum_.get(), sum_.get() + count, 0);
        for (std::size_t i = first_; i < end_; ++i) {
            const std::int64_t wanted = std::min(count, sizes_[i] - at);
            if (wanted <= 0)
                continue;
            File once;
            File& file = held_.empty() ? once : held_[i - first_];
            if (file.handle == File::no_handle && !open_for_reading(file, names_[i]))
                fail_opening(names_[i]);
            const std::int64_t got = read_at(file, reinterpret_cast<char*>(read_.get()), wanted, at);
            if (got < 0)
                fail_reading(names_[i]);
            if (got < wanted)
                fail_reading(names_[i], "it changed while it was read");
            xor_into(sum_.get(), read_.get(), static_cast<std::size_t>(wanted));
        }
        return sum_.get();
    }

private:
    const std::vector<std::string>& names_;
    const std::vector<std::int64_t>& sizes_;
    std::size_t first_, end_;
    std::vector<File> held_;
    std::unique_ptr<unsigned char[]> sum_{new unsigned char[block_size]}, read_{new unsigned char[block_size]};
};

// The other half of the files, read in a second thread at the same block:
// reading them from the cache is the work, and it would leave a core idle.
class XorInThread {
public:
    explicit XorInThread(XorOfFiles& files) : files_(files), thread_([this] { run(); }) {}

    ~XorInThread()
    {
        {
            std::lock_guard<std::mutex> held(lock_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void start(std::int64_t at, std::int64_t count)
    {
        {
            std::lock_guard<std::mutex> held(lock_);
            at_ = at, count_ = count, result_ = nullptr, asked_ = true;
        }
        changed_.notify_all();
    }

    // The block started last; what failed in the thread fails here.
    const unsigned char* wait()
    {
        std::unique_lock<std::mutex> held(lock_);
        changed_.wait(held, [this] { return !asked_; });
        if (failure_)
            std::rethrow_exception(failure_);
        return result_;
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> held(lock_);
        for (;;) {
            changed_.wait(held, [this] { return asked_ || ending_; });
            if (ending_)
                return;
            held.unlock();
            unsigned char* result = nullptr;
            std::exception_ptr failure;
            try {
                result = files_.block(at_, count_);
            } catch (...) {
                failure = std::current_exception();
            }
            held.lock();
            result_ = result, failure_ = failure, asked_ = false;
            changed_.notify_all();
        }
    }

    XorOfFiles& files_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::int64_t at_ = 0, count_ = 0;
    bool asked_ = false, ending_ = false;
    unsigned char* result_ = nullptr;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace

void write_xor(const std::vector<std::string>& names, const std::vector<std::int64_t>& sizes, File* out,
               std::int64_t length, Checksums& sums)
{
    const std::size_t half = names.size() / 2;
    XorOfFiles mine(names, sizes, 0, half), others(names, sizes, half, names.size());
    XorInThread other_half(others);
    for (std::int64_t at = 0; at < length; at += block_size) {
        stop_if_interrupted();
        const std::int64_t count = std::min(block_size, length - at);
        other_half.start(at, count);
        unsigned char* sum = mine.block(at, count);
        xor_into(sum, other_half.wait(), static_cast<std::size_t>(count));
        if (out && !write_all(*out, reinterpret_cast<const char*>(sum), count))
            fail_writing(out->name);
        sums.took(reinterpret_cast<const char*>(sum), count);
        if (out)
            report().moved(count);
    }
}
