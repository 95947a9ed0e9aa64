#include "pieces/checksum.h"

#include "pieces/interruption.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
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

constexpr std::int64_t zeros_at_once = 1 << 18;

} // namespace

Digest checksum_of(const void* bytes, std::int64_t count)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes, static_cast<std::size_t>(count)));
    Digest digest;
    std::copy(canonical.digest, canonical.digest + 16, digest.begin());
    return digest;
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
    XXH3_128bits_update(states_->piece, bytes, static_cast<std::size_t>(count));
    if (states_->with_whole)
        XXH3_128bits_update(states_->whole, bytes, static_cast<std::size_t>(count));
    if (states_->in_block)
        XXH3_128bits_update(states_->block, bytes, static_cast<std::size_t>(count));
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
