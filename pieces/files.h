#pragma once

// The file system calls that the split and the join make, one file per
// system (files_posix.cpp, files_windows.cpp). Names are UTF-8, as the
// console hands them over.

#include <cstdint>
#include <optional>
#include <string>

// What makes two names one file: its device and its number there.
struct FileId {
    std::uint64_t device{}, number{};
    bool operator==(const FileId& other) const { return device == other.device && number == other.number; }
};

// An open file, or none. Dropping it closes it unchecked: by then any
// failure has been reported.
struct File {
    // The same on Windows, where it is INVALID_HANDLE_VALUE.
    static constexpr std::intptr_t no_handle = -1;

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    std::intptr_t handle = no_handle;
    std::int64_t size{};  // both taken from a file opened for reading
    FileId id;
};

enum class Opened { yes, missing, refused };

// Opens a regular file for reading, at offset 0, with its size and identity:
// `missing` when nothing has that name, `refused` when it cannot be opened or
// is no regular file.
Opened open_for_reading(File& file, const std::string& name);

// Creates or truncates a file for writing.
bool open_for_writing(File& file, const std::string& name);

// Closes a file; false when what was written to it did not all land.
bool close_file(File& file);

// The file that a name leads to, links followed; nothing when there is none.
std::optional<FileId> identity_of(const std::string& name);

// Reads or writes at most `count` bytes where the file stands and moves on
// past them; returns how many, 0 at the end of a file, -1 on failure.
std::int64_t read_some(File& file, char* bytes, std::int64_t count);
std::int64_t write_some(File& file, const char* bytes, std::int64_t count);

// Lets the system copy at most `limit` bytes from where `from` stands to
// where `to` stands, without a trip through the program, sharing them where
// the file system can; returns how many it copied, moving both on past them.
// It stops short, and says nothing of why, at the end of `from`, on a
// failure of either file, and between files it does not copy between.
std::int64_t copy_in_system(File& from, File& to, std::int64_t limit);
