// Built everywhere but Windows, which has pieces/files_windows.cpp.
#ifndef _WIN32

#include "pieces/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
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

// A signal that lands mid-call is no failure of the file.
template <typename Call>
auto again(Call call)
{
    auto result = call();
    while (result == -1 && errno == EINTR)
        result = call();
    return result;
}

bool flush_descriptor(int opened) { return again([&] { return ::fsync(opened); }) == 0; }

} // namespace

const bool names_ignore_case = false;

File::~File()
{
    if (handle != no_handle)
        ::close(descriptor(*this));
}

bool open_for_reading(File& file, const std::string& name)
{
    if (!usable(name))
        return false;
    // Not blocking: a named pipe must be refused, not waited on.
    const int opened = again([&] { return ::open(name.c_str(), O_RDONLY | O_NONBLOCK); });
    if (opened == -1)
        return false;
    file.handle = opened;
    struct stat info;
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    file.size = info.st_size;
    file.id = id_of(info);
    file.has_holes = std::int64_t{info.st_blocks} * 512 < info.st_size;
    return true;
}

bool open_for_writing(File& file, const std::string& name)
{
    if (!usable(name))
        return false;
    file.handle = again([&] { return ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666); });
    return file.handle != File::no_handle;
}

bool is_regular(File& file)
{
    struct stat info;
    if (!file.regular)
        file.regular = ::fstat(descriptor(file), &info) == 0 && S_ISREG(info.st_mode);
    return *file.regular;
}

bool close_file(File& file)
{
    const int closed = ::close(descriptor(file));
    file.handle = File::no_handle;
    return closed == 0;
}

bool flush_file(File& file) { return !is_regular(file) || flush_descriptor(descriptor(file)); }

bool flush_entry(const std::string& name)
{
    const auto slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    File entries;
    entries.handle = again([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY); });
    return entries.handle != File::no_handle && flush_descriptor(descriptor(entries));
}

bool open_folder(File& folder)
{
    folder.handle = again([] { return ::open(".", O_RDONLY | O_DIRECTORY); });
    return folder.handle != File::no_handle;
}

// One syncfs costs what one fsync does, where 4,096 pieces would each pay
// for one; it reports what failed since the folder was opened.
bool flush_folder(File& folder) { return ::syncfs(descriptor(folder)) == 0; }

bool each_name_here(void (*take)(const char* name, void* context), void* context)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir("."), ::closedir);
    if (!folder)
        return false;
    errno = 0;
    while (const dirent* entry = ::readdir(folder.get()))
        take(entry->d_name, context);
    return errno == 0;
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
    return again([&] { return ::read(descriptor(file), bytes, static_cast<std::size_t>(count)); });
}

bool write_all(File& file, const char* bytes, std::int64_t count)
{
    while (count > 0) {
        const ssize_t put = again([&] { return ::write(descriptor(file), bytes, static_cast<std::size_t>(count)); });
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        bytes += put;
        count -= put;
    }
    return true;
}

std::int64_t copy_in_system(File& from, File& to, std::int64_t limit)
{
    std::int64_t copied = 0;
    while (copied < limit && !from.system_copy_refused) {
        const ssize_t moved = again([&] {
            return ::copy_file_range(descriptor(from), nullptr, descriptor(to), nullptr,
                                     static_cast<std::size_t>(limit - copied), 0);
        });
        // Between two file systems, or where either file is no disk file:
        // the same for every piece that follows, as they share one folder.
        if (moved < 0 && copied == 0)
            from.system_copy_refused = errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP;
        if (moved <= 0)
            break;
        copied += moved;
    }
    return copied;
}

// Failures here are not lost: the flush before the farewell reports them.
void write_back(File& file, std::int64_t start, std::int64_t end)
{
    ::sync_file_range(descriptor(file), start, end - start, SYNC_FILE_RANGE_WRITE);
    if (start > 0)
        ::sync_file_range(descriptor(file), 0, start,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
}

std::int64_t position_of(File& file) { return ::lseek(descriptor(file), 0, SEEK_CUR); }

bool move_to(File& file, std::int64_t offset) { return ::lseek(descriptor(file), offset, SEEK_SET) == offset; }

bool set_size(File& file, std::int64_t size) { return again([&] { return ::ftruncate(descriptor(file), size); }) == 0; }

Stretch next_data(File& file, std::int64_t offset)
{
    const int opened = descriptor(file);
    const off_t start = ::lseek(opened, offset, SEEK_DATA);
    if (start == -1) {
        const off_t size = errno == ENXIO ? ::lseek(opened, 0, SEEK_END) : -1;
        return {size, size};
    }
    const off_t end = ::lseek(opened, start, SEEK_HOLE);
    return {end == -1 ? -1 : start, end};
}

std::string last_failure_reason() { return std::strerror(errno); }

#endif
