// The checksum's inner loop once more, built for a wider processor by the
// flags its object library is given: the library's own code, which picks
// its instructions by the build's. Plain C from the library alone, so
// that nothing built for that processor is shared with the rest.
#define XXH_INLINE_ALL
#include <xxhash.h>

extern "C" void ZELK_WIDE_UPDATE(XXH3_state_t* state, const void* bytes, size_t count)
{
    XXH3_128bits_update(state, bytes, count);
}
