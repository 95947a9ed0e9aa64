#include "pieces/piece_files.h"

std::string piece_file_name(std::int64_t number)
{
    return "FILE" + std::to_string(number) + ".SPL";
}
