#include "pieces/checksum.h"

#include "pieces/interruption.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#ifdef ZELK_CHECKSUM_avx512
extern "C" void zelk_checksum_update_avx512(XXH3_state_t* state, const void* bytes, size_t count);
#endif
#ifdef ZELK_CHECKSUM_sse2
extern "C" void zelk_checksum_update_sse2(XXH3_state_t* state, const void* bytes, size_t count);
#endif

namespace {

using Update = void (*)(XXH3_state_t*, const void*, size_t);

void update_as_built(XXH3_state_t* state, const void* bytes, size_t count)
{
    XXH3_128bits_update(state, bytes, count);
}

// Those built (CMakeLists.txt) that the processor has, the widest last;
// each gives the same checksum.
std::vector<Update> found_updates()
{
    std::vector<Update> found{update_as_built};
#if defined(ZELK_CHECKSUM_avx512) || defined(ZELK_CHECKSUM_sse2)
    __builtin_cpu_init();
#endif
#ifdef ZELK_CHECKSUM_sse2
    if (__builtin_cpu_supports("sse2"))
        found.push_back(zelk_checksum_update_sse2);
#endif
#ifdef ZELK_CHECKSUM_avx512
    if (__builtin_cpu_supports("avx512f"))
        found.push_back(zelk_checksum_update_avx512);
#endif
    return found;
}

std::atomic<Update> chosen{nullptr};

void update(XXH3_state_t* state, const void* bytes, std::int64_t count)
{
    Update call = chosen.load(std::memory_order_relaxed);
    if (!call)
        chosen.store(call = found_updates().back(), std::memory_order_relaxed);
    call(state, bytes, static_cast<std::size_t>(count));
}

Digest digest_of(XXH3_state_t* state)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state));
    Digest digest;
    std::copy(canonical.digest, canonical.digest + 16, digest.begin());
    return digest;
}

constexpr std::int64_t zeros_at_once = 1 << 18;

} // namespace

// Taken as a stream, which gives the same checksum, so that it too runs at
// the processor's widest.
Digest checksum_of(const void* bytes, std::int64_t count)
{
    const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(),
                                                                               XXH3_freeState);
    XXH3_128bits_reset(state.get());
    update(state.get(), bytes, count);
    return digest_of(state.get());
}

std::string hex_of(const Digest& digest)
{
    std::string text;
    for (const unsigned char byte : digest)
        text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
    return text;
}

struct Checksums::States {
    XXH3_state_t* piece = XXH3_createState();
    XXH3_state_t* whole = XXH3_createState();
    // The whole as it was when this piece started, and the one before.
    XXH3_state_t* before_this = XXH3_createState();
    XXH3_state_t* before_last = XXH3_createState();
    // The block's, and the piece and the whole at its start.
    XXH3_state_t* block = XXH3_createState();
    XXH3_state_t* piece_at_block = XXH3_createState();
    XXH3_state_t* whole_at_block = XXH3_createState();
    bool with_whole, in_block = false;
    std::vector<char> nothing;  // made only where a hole is met

    explicit States(bool with_whole) : with_whole(with_whole)
    {
        XXH3_128bits_reset(piece);
        XXH3_128bits_reset(whole);
        XXH3_copyState(before_this, whole);
    }

    ~States()
    {
        XXH3_freeState(piece);
        XXH3_freeState(whole);
        XXH3_freeState(before_this);
        XXH3_freeState(before_last);
        XXH3_freeState(block);
        XXH3_freeState(piece_at_block);
        XXH3_freeState(whole_at_block);
    }
};

Checksums::Checksums(Kind kind) : states_(new States(kind == pieces_and_whole)) {}
Checksums::~Checksums() = default;

void Checksums::took(const char* bytes, std::int64_t count)
{
    update(states_->piece, bytes, count);
    if (states_->with_whole)
        update(states_->whole, bytes, count);
    if (states_->in_block)
        update(states_->block, bytes, count);
}

void Checksums::zeros(std::int64_t count)
{
    states_->nothing.resize(zeros_at_once);
    for (std::int64_t done = 0; done < count; done += zeros_at_once) {
        stop_if_interrupted();
        took(states_->nothing.data(), std::min(count - done, zeros_at_once));
    }
}

Digest Checksums::piece_done()
{
    const Digest digest = digest_of(states_->piece);
    XXH3_128bits_reset(states_->piece);
    XXH3_copyState(states_->before_last, states_->before_this);
    XXH3_copyState(states_->before_this, states_->whole);
    return digest;
}

void Checksums::piece_again()
{
    XXH3_128bits_reset(states_->piece);
    XXH3_copyState(states_->whole, states_->before_last);
    XXH3_copyState(states_->before_this, states_->before_last);
}

Digest Checksums::whole() { return digest_of(states_->whole); }

void Checksums::block_start()
{
    XXH3_128bits_reset(states_->block);
    XXH3_copyState(states_->piece_at_block, states_->piece);
    XXH3_copyState(states_->whole_at_block, states_->whole);
    states_->in_block = true;
}

Digest Checksums::block_done()
{
    states_->in_block = false;
    return digest_of(states_->block);
}

void Checksums::block_again()
{
    XXH3_copyState(states_->piece, states_->piece_at_block);
    XXH3_copyState(states_->whole, states_->whole_at_block);
    states_->in_block = false;
}

std::size_t checksum_levels_here() { return found_updates().size(); }

void use_checksum_level(std::size_t level) { chosen.store(found_updates().at(level)); }
