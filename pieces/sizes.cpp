#include "pieces/sizes.h"

#include <cstdio>

Unit unit_for(std::int64_t size)
{
    const char* names[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    double bytes = 1;
    while (unit < 4 && size >= bytes * 1024)
        bytes *= 1024, ++unit;
    return {names[unit], bytes};
}

std::string size_text(std::int64_t size)
{
    if (size == 1)
        return "1 byte";
    const Unit unit = unit_for(size);
    char text[64];
    std::snprintf(text, sizeof text, unit.bytes == 1 ? "%.0f %s" : "%.1f %s", size / unit.bytes, unit.name);
    return text;
}
