// Built everywhere but Windows, which has pieces/files_windows.cpp: Linux
// (syncfs, copy_file_range, sync_file_range).
#ifndef _WIN32

#include "pieces/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>

#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
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

std::int64_t nanoseconds(const struct timespec& time) { return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec; }

std::string folder_of(const std::string& name)
{
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
}

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
    file.name = name;
    struct stat info;
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    file.regular = true, file.size = info.st_size;
    file.modified = nanoseconds(info.st_mtim), file.changed = nanoseconds(info.st_ctim);
    file.id = id_of(info);
    file.allocated = std::int64_t{info.st_blocks} * 512;
    file.has_holes = file.allocated < info.st_size;
    return true;
}

bool open_for_writing(File& file, const std::string& name, bool no_link)
{
    if (!usable(name))
        return false;
    // A piece that is a named pipe is refused by its caller, not waited on.
    const int flags = O_CREAT | O_CLOEXEC | (no_link ? O_RDWR | O_NOFOLLOW | O_NONBLOCK : O_WRONLY);
    file.handle = again([&] { return ::open(name.c_str(), flags, 0666); });
    file.name = name;
    struct stat info;
    if (file.handle == File::no_handle || ::fstat(descriptor(file), &info) != 0)
        return false;
    file.size = info.st_size;
    file.id = id_of(info);
    file.regular = S_ISREG(info.st_mode);
    return true;
}

bool create_piece(File& file, const std::string& name)
{
    if (!usable(name))
        return false;
    // Free when the folder was read, the name may have been given to a pipe
    // since: a write there fails rather than waits for ever. (A regular
    // file knows no waiting: it costs a split of many pieces no call.)
    file.handle = again(
        [&] { return ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666); });
    file.name = name;
    return file.handle != File::no_handle;
}

bool changed_since_opened(File& file)
{
    struct stat info;
    return ::fstat(descriptor(file), &info) != 0 || info.st_size != file.size
           || nanoseconds(info.st_mtim) != file.modified || nanoseconds(info.st_ctim) != file.changed;
}

Created create_new(File& file, const std::string& name)
{
    if (!usable(name))
        return Created::failed;
    file.name = name;
    file.handle = again([&] { return ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666); });
    if (file.handle == File::no_handle)
        return errno == EEXIST ? Created::exists : Created::failed;
    // A lock no other run can take while this one lives. Where the file
    // system has none, the folder's lock alone keeps others from it.
    again([&] { return ::flock(descriptor(file), LOCK_EX | LOCK_NB); });
    return Created::made;
}

bool take_permissions(File& file, const std::string& like)
{
    struct stat old;
    if (::stat(like.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return true;
    // Only root may give a file away; anyone may keep a group of theirs.
    if (::fchown(descriptor(file), old.st_uid, old.st_gid) != 0)
        [[maybe_unused]] const int grouped = ::fchown(descriptor(file), static_cast<uid_t>(-1), old.st_gid);
    // A file system without modes (FAT) refuses any: the file just made is
    // ours, so nothing else refuses one.
    return ::fchmod(descriptor(file), old.st_mode & 07777) == 0 || errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS;
}

bool may_write(const std::string& name) { return ::faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) == 0; }

// The soft limit raised first as far as the hard one lets it: a long run
// is then held open whole.
std::int64_t most_files_open()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1 << 20;
    if (limit.rlim_cur != limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = raised.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? 1 << 20 : static_cast<std::int64_t>(limit.rlim_cur);
}

bool replace(const std::string& from, const std::string& name) { return ::rename(from.c_str(), name.c_str()) == 0; }

bool remove_file(const std::string& name) { return ::unlink(name.c_str()) == 0; }

bool remove_if_unheld(const std::string& name)
{
    File file;
    struct stat info;
    file.handle = again([&] { return ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    return file.handle != File::no_handle && ::fstat(descriptor(file), &info) == 0 && S_ISREG(info.st_mode)
           && again([&] { return ::flock(descriptor(file), LOCK_EX | LOCK_NB); }) == 0 && remove_file(name);
}

NameInfo about(const std::string& name, bool follow_links)
{
    struct stat info;
    if (!usable(name) || (follow_links ? ::stat(name.c_str(), &info) : ::lstat(name.c_str(), &info)) != 0)
        return {usable(name) && errno == ENOENT ? NameInfo::none : NameInfo::unusable, {}, 0};
    const auto kind = S_ISLNK(info.st_mode) ? NameInfo::link
                      : S_ISDIR(info.st_mode) ? NameInfo::folder
                      : S_ISREG(info.st_mode) ? NameInfo::regular
                                              : NameInfo::other;
    return {kind, id_of(info), static_cast<std::uint64_t>(info.st_nlink), info.st_size, std::int64_t{info.st_blocks} * 512};
}

std::optional<std::string> final_name(const std::string& name)
{
    std::string path = name;
    // As many links as the system itself follows.
    for (int hops = 0; hops <= 40; ++hops) {
        if (about(path).kind != NameInfo::link)
            return path;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || length == static_cast<ssize_t>(sizeof target))
            return std::nullopt;
        const std::string to(target, static_cast<std::size_t>(length));
        path = to[0] == '/' || path.find('/') == std::string::npos ? to : folder_of(path) + "/" + to;
    }
    return std::nullopt;
}

bool open_standard_output(File& file)
{
    file.handle = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    return file.handle != File::no_handle;
}

bool is_device_or_pipe(const std::string& name)
{
    struct stat info;
    return usable(name) && ::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::optional<FileId> standard_output()
{
    struct stat info;
    if (::fstat(STDOUT_FILENO, &info) != 0)
        return std::nullopt;
    return id_of(info);
}

std::string folder_name(const std::string& name) { return folder_of(name); }

namespace {

constexpr long fuse_magic = 0x65735546, fat_magic = 0x4d44, xfs_magic = 0x58465342, btrfs_magic = 0x9123683e;
constexpr std::int64_t fat_largest = (std::int64_t{1} << 32) - 1;

// The type that /proc/self/mountinfo gives the mount of device `device`
// ("fuse.fusefat"): a FUSE file system's own name.
std::string mount_type(dev_t device)
{
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, word;
        fields >> id >> parent >> numbers;
        if (numbers != wanted)
            continue;
        while (fields >> word && word != "-") {
        }
        fields >> word;
        return word;
    }
    return {};
}

} // namespace

Room room_in(const std::string& folder)
{
    Room room;
    struct statfs system;
    struct statvfs space;
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || ::statfs(folder.c_str(), &system) != 0)
        return room;
    room.device = static_cast<std::uint64_t>(info.st_dev);
    const std::string type = system.f_type == fuse_magic ? mount_type(info.st_dev) : "";
    // FAT holds a file of 4 GiB less a byte, and no holes.
    if (system.f_type == fat_magic || (type.find("fat") != std::string::npos && type.find("exfat") == std::string::npos))
        room.largest_file = fat_largest, room.keeps_holes = false;
    // The C library answers 32 for a file system it does not know (tmpfs
    // among them), which may hold far more: only a larger answer is told.
    const long bits = ::pathconf(folder.c_str(), _PC_FILESIZEBITS);
    if (bits > 32 && bits < 63 && !room.largest_file)
        room.largest_file = (std::int64_t{1} << bits) - 1;
    room.shares_copies = system.f_type == xfs_magic || system.f_type == btrfs_magic;
    // A file system that tells no size (some FUSE ones say 0 blocks, 0 free)
    // tells nothing of its room.
    if (::statvfs(folder.c_str(), &space) != 0 || space.f_blocks == 0)
        return room;
    room.free = static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
    room.unit = std::max<std::int64_t>(static_cast<std::int64_t>(space.f_frsize), 1);
    // Some (btrfs) make files as they need and say they have none.
    if (space.f_files > 0)
        room.free_files = static_cast<std::int64_t>(space.f_favail);
    return room;
}

std::string base_name(const std::string& name)
{
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool is_regular(File& file)
{
    struct stat info;
    if (!file.regular)
        file.regular = ::fstat(descriptor(file), &info) == 0 && S_ISREG(info.st_mode);
    return *file.regular;
}

bool can_rewind(File& file)
{
    const int flags = ::fcntl(descriptor(file), F_GETFL);
    return is_regular(file) && flags != -1 && !(flags & O_APPEND);
}

bool close_file(File& file)
{
    const int closed = ::close(descriptor(file));
    file.handle = File::no_handle;
    return closed == 0;
}

bool flush_file(File& file) { return !is_regular(file) || flush_descriptor(descriptor(file)); }

bool open_entry(File& entry, const std::string& name, File& inside)
{
    entry.handle = again([&] { return ::open(folder_of(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (entry.handle == File::no_handle && errno == EACCES)
        entry.handle = again([&] { return ::fcntl(descriptor(inside), F_DUPFD_CLOEXEC, 0); });
    return entry.handle != File::no_handle;
}

// A folder that may be written but not read is flushed with its whole file
// system, through the file in it.
bool flush_entry(File& entry)
{
    return is_regular(entry) ? ::syncfs(descriptor(entry)) == 0 : flush_descriptor(descriptor(entry));
}

// The folder itself where it can be read, so that a run leaves nothing
// behind; else a file of the program's own there, which blocks nothing
// by being there: only a live process's lock does.
Lock lock_folder(File& lock, const std::string& folder)
{
    lock.handle = again([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    const std::string file = folder + "/.zelk-lock";
    if (lock.handle == File::no_handle && errno == EACCES)
        lock.handle = again([&] { return ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); });
    if (lock.handle == File::no_handle)
        return Lock::failed;
    if (again([&] { return ::flock(descriptor(lock), LOCK_EX | LOCK_NB); }) == 0)
        return Lock::taken;
    return errno == EWOULDBLOCK ? Lock::busy : Lock::failed;
}

bool can_flush_folder() { return true; }

// One syncfs costs what one fsync does, where 4,096 pieces would each pay
// for one; it reports what failed since the folder was locked.
bool flush_folder(File& lock) { return ::syncfs(descriptor(lock)) == 0; }

bool each_name_here(void (*take)(const Entry& entry, void* context), void* context, const std::string& in)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(in.c_str()), ::closedir);
    if (!folder)
        return false;
    errno = 0;
    while (const dirent* found = ::readdir(folder.get())) {
        Entry entry{found->d_name, static_cast<std::uint64_t>(found->d_ino), std::nullopt};
        if (found->d_type != DT_UNKNOWN)
            entry.kind = found->d_type == DT_LNK   ? NameInfo::link
                         : found->d_type == DT_DIR ? NameInfo::folder
                         : found->d_type == DT_REG ? NameInfo::regular
                                                   : NameInfo::other;
        take(entry, context);
    }
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

std::int64_t read_at(File& file, char* bytes, std::int64_t count, std::int64_t offset)
{
    return again([&] { return ::pread(descriptor(file), bytes, static_cast<std::size_t>(count), offset); });
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

bool write_at(File& file, const char* bytes, std::int64_t count, std::int64_t offset)
{
    while (count > 0) {
        const ssize_t put =
            again([&] { return ::pwrite(descriptor(file), bytes, static_cast<std::size_t>(count), offset); });
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        bytes += put, count -= put, offset += put;
    }
    return true;
}

std::int64_t copy_in_system(File& from, File& to, std::int64_t limit, bool& refused)
{
    std::int64_t copied = 0;
    while (copied < limit && !refused) {
        const ssize_t moved = again([&] {
            return ::copy_file_range(descriptor(from), nullptr, descriptor(to), nullptr,
                                     static_cast<std::size_t>(limit - copied), 0);
        });
        // Between two file systems, or where either file is no disk file:
        // the same for every piece that follows, as they share one folder.
        if (moved < 0 && copied == 0)
            refused = errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP;
        if (moved <= 0)
            break;
        copied += moved;
    }
    return copied;
}

// Failures here are not lost: the flush before the farewell reports them.
void write_back(File& file, std::int64_t end)
{
    ::sync_file_range(descriptor(file), 0, end, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE);
}

std::int64_t position_of(File& file) { return ::lseek(descriptor(file), 0, SEEK_CUR); }

bool move_to(File& file, std::int64_t offset) { return ::lseek(descriptor(file), offset, SEEK_SET) == offset; }

bool set_size(File& file, std::int64_t size) { return again([&] { return ::ftruncate(descriptor(file), size); }) == 0; }

std::int64_t size_now(File& file)
{
    struct stat info;
    return ::fstat(descriptor(file), &info) == 0 ? info.st_size : -1;
}

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

// A pipe's reader that went away is no fault of the disk's.
std::string last_failure_reason() { return errno == EPIPE ? "the reader closed it" : std::strerror(errno); }

#endif
