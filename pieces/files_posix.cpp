// Built everywhere but Windows, which has pieces/files_windows.cpp.
#ifndef _WIN32

#include "pieces/files.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int descriptor(const File& file) { return static_cast<int>(file.handle); }

// A name with a NUL in it would silently open a different, shorter name.
bool usable(const std::string& name) { return name.find('\0') == std::string::npos; }

FileId id_of(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace

File::~File()
{
    if (handle != no_handle)
        ::close(descriptor(*this));
}

Opened open_for_reading(File& file, const std::string& name)
{
    if (!usable(name))
        return Opened::refused;
    // Not blocking: a named pipe must be refused, not waited on.
    const int opened = ::open(name.c_str(), O_RDONLY | O_NONBLOCK);
    if (opened == -1)
        return errno == ENOENT ? Opened::missing : Opened::refused;
    file.handle = opened;
    struct stat info;
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode))
        return Opened::refused;
    file.size = info.st_size;
    file.id = id_of(info);
    return Opened::yes;
}

bool open_for_writing(File& file, const std::string& name)
{
    file.handle = usable(name) ? ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666) : File::no_handle;
    return file.handle != File::no_handle;
}

bool close_file(File& file)
{
    const int closed = ::close(descriptor(file));
    file.handle = File::no_handle;
    return closed == 0;
}

std::optional<FileId> identity_of(const std::string& name)
{
    struct stat info;
    if (!usable(name) || ::stat(name.c_str(), &info) != 0)
        return std::nullopt;
    return id_of(info);
}

std::int64_t read_some(File& file, char* bytes, std::int64_t count)
{
    return ::read(descriptor(file), bytes, static_cast<std::size_t>(count));
}

std::int64_t write_some(File& file, const char* bytes, std::int64_t count)
{
    return ::write(descriptor(file), bytes, static_cast<std::size_t>(count));
}

std::int64_t copy_in_system(File& from, File& to, std::int64_t limit)
{
    std::int64_t copied = 0;
    while (copied < limit) {
        // A gigabyte a call stays well inside what the kernel takes at once.
        const ssize_t moved = ::copy_file_range(descriptor(from), nullptr, descriptor(to), nullptr,
                                                std::min<std::int64_t>(limit - copied, 1 << 30), 0);
        if (moved <= 0)
            break;
        copied += moved;
    }
    return copied;
}

#endif
