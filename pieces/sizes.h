#pragma once

#include <cstdint>
#include <string>

// The unit a size is read in: bytes, KiB, MiB, GiB or TiB, the largest that
// is not more than it; its name and how many bytes it holds.
struct Unit {
    const char* name;
    double bytes;
};
Unit unit_for(std::int64_t size);

// "3.2 GiB", "512 bytes".
std::string size_text(std::int64_t size);
