#include "pieces/run_names.h"

const std::string manifest_name = "FILES.XXH128";
const std::string recovery_name = "FILES.REV";

std::string piece_file_name(std::int64_t number)
{
    return "FILE" + std::to_string(number) + ".SPL";
}

std::string recovery_file_name(int index)
{
    return index == 0 ? recovery_name : "FILES" + std::to_string(index + 1) + ".REV";
}

std::string piece_range(std::int64_t first, std::int64_t last)
{
    return first == last ? piece_file_name(first) : piece_file_name(first) + " to " + piece_file_name(last);
}

std::string run_file_kind(const std::string& name)
{
    const bool recovery = name.size() > 4 && name.compare(name.size() - 4, 4, ".REV") == 0;
    return name == manifest_name ? "manifest " : recovery ? "recovery piece " : "piece ";
}
