#include "pieces/byte_copy.h"

#include "pieces/failure.h"

#include <ios>

std::int64_t copy_bytes(std::streambuf& from, const std::string& from_name,
                        std::streambuf& to, const std::string& to_name, std::int64_t limit)
{
    using traits = std::streambuf::traits_type;
    std::int64_t copied = 0;
    try {
        for (; copied < limit; ++copied) {
            const traits::int_type byte = from.sbumpc();
            if (traits::eq_int_type(byte, traits::eof()))
                break;
            if (traits::eq_int_type(to.sputc(traits::to_char_type(byte)), traits::eof()))
                fail_writing(to_name);
        }
    } catch (const std::ios_base::failure&) {
        // The file buffers report a failed read (not the end of the file)
        // by throwing.
        fail_reading(from_name);
    }
    return copied;
}
