// Built for Windows alone; pieces/files_linux.cpp serves the rest.
#ifdef _WIN32

#include "pieces/files.h"
#include "pieces/utf16.h"


#include <windows.h>

namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.handle); }

// Opened by its whole Unicode name, whatever the ANSI code page can spell.
HANDLE open_file(const std::string& name, DWORD access, DWORD disposition, DWORD flags)
{
    // A name with a NUL in it would silently open a different, shorter name.
    if (name.find('\0') != std::string::npos)
        return INVALID_HANDLE_VALUE;
    return CreateFileW(wide_from(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, flags,
                       nullptr);
}

std::optional<BY_HANDLE_FILE_INFORMATION> information(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    return info;
}

FileId id_of(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

std::int64_t modified_of(const BY_HANDLE_FILE_INFORMATION& info)
{
    return static_cast<std::int64_t>(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32
                                     | info.ftLastWriteTime.dwLowDateTime);
}

// When its entry last changed, which no program can set back; 0 where
// the system cannot tell.
std::int64_t changed_of(HANDLE handle)
{
    FILE_BASIC_INFO basic{};
    return GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ? basic.ChangeTime.QuadPart : 0;
}

std::int64_t size_of(const BY_HANDLE_FILE_INFORMATION& info)
{
    return static_cast<std::int64_t>(std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
}

// `name` in `folder`, which may end in a separator.
std::wstring inside(const std::string& folder, const wchar_t* name)
{
    const bool ends = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    return wide_from(folder) + (ends ? L"" : L"\\") + name;
}

} // namespace

// As opening them does.
const bool names_ignore_case = true;

std::wstring wide_from(const std::string& text, unsigned code_page)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return wide;
}

std::string narrow_from(const std::wstring& wide, unsigned code_page)
{
    const int length = static_cast<int>(wide.size());
    std::string text(WideCharToMultiByte(code_page, 0, wide.data(), length, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(code_page, 0, wide.data(), length, text.data(), static_cast<int>(text.size()), nullptr,
                        nullptr);
    return text;
}

File::~File()
{
    if (handle != no_handle)
        CloseHandle(handle_of(*this));
}

bool open_for_reading(File& file, const std::string& name)
{
    const HANDLE opened = open_file(name, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    file.handle = reinterpret_cast<std::intptr_t>(opened);
    file.name = name;
    const auto info = information(opened);
    if (!info || GetFileType(opened) != FILE_TYPE_DISK || (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    file.size = file.allocated = size_of(*info);
    file.modified = modified_of(*info), file.changed = changed_of(opened);
    file.id = id_of(*info);
    return true;
}

bool open_for_writing(File& file, const std::string& name, bool no_link)
{
    // A link is opened as itself, and so seen, not followed.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | (no_link ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    file.handle = reinterpret_cast<std::intptr_t>(open_file(name, GENERIC_WRITE, OPEN_ALWAYS, flags));
    file.name = name;
    if (file.handle == File::no_handle)
        return false;
    const auto info = information(handle_of(file));
    if (info && no_link && (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    if (info)
        file.size = size_of(*info), file.id = id_of(*info);
    return true;
}

bool create_piece(File& file, const std::string& name)
{
    return open_for_writing(file, name, true) && (file.size == 0 || set_size(file, 0));
}

bool changed_since_opened(File& file)
{
    const auto info = information(handle_of(file));
    return !info || size_of(*info) != file.size || modified_of(*info) != file.modified
           || changed_of(handle_of(file)) != file.changed;
}

Created create_new(File& file, const std::string& name)
{
    file.name = name;
    file.handle = reinterpret_cast<std::intptr_t>(
        open_file(name, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
    if (file.handle != File::no_handle)
        return Created::made;
    return GetLastError() == ERROR_FILE_EXISTS ? Created::exists : Created::failed;
}

// Permissions here are the folder's, which a new file inherits.
bool take_permissions(File&, const std::string&) { return true; }

bool may_write(const std::string& name)
{
    const DWORD attributes = GetFileAttributesW(wide_from(name).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Handles have no limit but memory's.
std::int64_t most_files_open() { return 1 << 20; }

// One call for a new name and an old one alike, back only once the move is
// on the disk.
bool replace(const std::string& from, const std::string& name)
{
    return MoveFileExW(wide_from(from).c_str(), wide_from(name).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool remove_file(const std::string& name) { return DeleteFileW(wide_from(name).c_str()); }

// A live run's file is open without leave to delete it, and so held.
bool remove_if_unheld(const std::string& name) { return remove_file(name); }

NameInfo about(const std::string& name, bool follow_links)
{
    // No folder holds a longer name, though some systems say only that
    // there is none.
    const std::wstring wide = wide_from(name);
    std::size_t part = 0;
    for (const wchar_t c : wide)
        if ((part = c == L'/' || c == L'\\' ? 0 : part + 1) > 255)
            return {NameInfo::unusable, {}, 0};
    const HANDLE opened = open_file(name, 0, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT));
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NameInfo::none : NameInfo::unusable, {}, 0,
                0};
    }
    const auto info = information(opened);
    const bool disk = GetFileType(opened) == FILE_TYPE_DISK;
    CloseHandle(opened);
    if (!info)
        return {NameInfo::other, {}, 1};
    const DWORD attributes = info->dwFileAttributes;
    const auto kind = attributes & FILE_ATTRIBUTE_REPARSE_POINT ? NameInfo::link
                      : attributes & FILE_ATTRIBUTE_DIRECTORY ? NameInfo::folder
                      : disk                                   ? NameInfo::regular
                                                               : NameInfo::other;
    return {kind, id_of(*info), info->nNumberOfLinks, size_of(*info), size_of(*info)};
}

// A link at the output's name is replaced, not followed.
std::optional<std::string> final_name(const std::string& name) { return name; }

bool open_standard_output(File& file)
{
    HANDLE copy = INVALID_HANDLE_VALUE;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    file.handle = reinterpret_cast<std::intptr_t>(copy);
    return true;
}

// Links are replaced as themselves here.
bool is_device_or_pipe(const std::string& name) { return about(name).kind == NameInfo::other; }

std::optional<FileId> standard_output()
{
    const auto info = information(GetStdHandle(STD_OUTPUT_HANDLE));
    if (!info)
        return std::nullopt;
    return id_of(*info);
}

std::string base_name(const std::string& name)
{
    const auto end = name.find_last_of("/\\:");
    return end == std::string::npos ? name : name.substr(end + 1);
}

std::string folder_name(const std::string& name)
{
    const std::string base = base_name(name);
    return base.size() == name.size() ? "." : name.substr(0, name.size() - base.size());
}

// FAT holds a file of 4 GiB less a byte. Files are copied whole here, so
// holes are never kept.
Room room_in(const std::string& folder)
{
    Room room;
    room.keeps_holes = false;
    wchar_t system[MAX_PATH + 1];
    // Only the file system's name, through the folder itself: asked by the
    // volume's root, wine reads the device, and complains where it cannot.
    const HANDLE opened = open_file(folder, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    const bool told = opened != INVALID_HANDLE_VALUE
                      && GetVolumeInformationByHandleW(opened, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1);
    if (opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    if (told) {
        const std::wstring name = system;
        if (name == L"FAT32" || name == L"FAT" || name == L"FAT16" || name == L"FAT12")
            room.largest_file = (std::int64_t{1} << 32) - 1;
        room.shares_copies = name == L"ReFS";
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(wide_from(folder).c_str(), &available, nullptr, nullptr))
        room.free = static_cast<std::int64_t>(available.QuadPart);
    // A cluster, where the system tells it of a folder, not only of a root.
    DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
    if (GetDiskFreeSpaceW(wide_from(folder).c_str(), &sectors, &bytes, &free_clusters, &clusters) && sectors * bytes > 0)
        room.unit = std::int64_t{sectors} * bytes;
    return room;
}

bool is_regular(File& file)
{
    if (!file.regular)
        file.regular = GetFileType(handle_of(file)) == FILE_TYPE_DISK;
    return *file.regular;
}

// A handle that may only append cannot write elsewhere, and this program
// opens none so.
bool can_rewind(File& file) { return is_regular(file); }

bool close_file(File& file)
{
    const bool closed = CloseHandle(handle_of(file));
    file.handle = File::no_handle;
    return closed;
}

bool flush_file(File& file) { return !is_regular(file) || FlushFileBuffers(handle_of(file)); }

// A move is written through, and a file's flush takes its entry along; a
// folder's own flush, where the system has one (wine's is Linux's fsync),
// makes sure of it.
bool open_entry(File& entry, const std::string& name, File&)
{
    const std::string folder = folder_name(name);
    entry.handle = reinterpret_cast<std::intptr_t>(
        open_file(folder, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    return true;
}

bool flush_entry(File& entry)
{
    if (entry.handle != File::no_handle)
        FlushFileBuffers(handle_of(entry));
    return true;
}

// A file no other process may open while this one has it, gone once its
// last handle closes: a killed run leaves neither it nor its lock.
Lock lock_folder(File& lock, const std::string& folder)
{
    const HANDLE opened = CreateFileW(inside(folder, L".zelk-lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    lock.handle = reinterpret_cast<std::intptr_t>(opened);
    if (opened != INVALID_HANDLE_VALUE)
        return Lock::taken;
    return GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_ACCESS_DENIED ? Lock::busy
                                                                                              : Lock::failed;
}

// There is no flush of a whole file system: each piece takes its own.
bool can_flush_folder() { return false; }
bool flush_folder(File&) { return false; }

bool each_name_here(void (*take)(const Entry& entry, void* context), void* context, const std::string& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(inside(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::string name = narrow_from(found.cFileName);
        const DWORD attributes = found.dwFileAttributes;
        take({name.c_str(), std::nullopt,
              attributes & FILE_ATTRIBUTE_REPARSE_POINT ? NameInfo::link
              : attributes & FILE_ATTRIBUTE_DIRECTORY   ? NameInfo::folder
                                                        : NameInfo::regular},
             context);
    } while (FindNextFileW(search, &found));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

std::optional<FileId> identity_of(const std::string& name)
{
    // Folders open only with backup semantics; they have an identity too.
    const HANDLE opened = open_file(name, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (opened == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const auto info = information(opened);
    CloseHandle(opened);
    if (!info)
        return std::nullopt;
    return id_of(*info);
}

// Callers ask for at most a block (a megabyte), well within a DWORD.
std::int64_t read_some(File& file, char* bytes, std::int64_t count)
{
    DWORD got = 0;
    return ReadFile(handle_of(file), bytes, static_cast<DWORD>(count), &got, nullptr) ? std::int64_t{got} : -1;
}

// Each thread reads through handles of its own: the place is put back.
std::int64_t read_at(File& file, char* bytes, std::int64_t count, std::int64_t offset)
{
    const std::int64_t at = position_of(file);
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const bool read = ReadFile(handle_of(file), bytes, static_cast<DWORD>(count), &got, &where)
                      || GetLastError() == ERROR_HANDLE_EOF;
    return read && move_to(file, at) ? std::int64_t{got} : -1;
}

bool write_all(File& file, const char* bytes, std::int64_t count)
{
    DWORD put = 0;
    if (!WriteFile(handle_of(file), bytes, static_cast<DWORD>(count), &put, nullptr))
        return false;
    if (put != count)
        SetLastError(ERROR_DISK_FULL);
    return put == count;
}

bool write_at(File& file, const char* bytes, std::int64_t count, std::int64_t offset)
{
    const std::int64_t at = position_of(file);
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    if (!WriteFile(handle_of(file), bytes, static_cast<DWORD>(count), &put, &where))
        return false;
    if (put != count)
        SetLastError(ERROR_DISK_FULL);
    return put == count && move_to(file, at);
}

// Block cloning needs ReFS, and wine, where this is tested, has none: every
// byte goes through the block copy.
std::int64_t copy_in_system(File&, File&, std::int64_t, bool&) { return 0; }

// Windows has no way to start a write without waiting for it; a failure
// here is reported by the flush before the farewell.
void write_back(File& file, std::int64_t) { FlushFileBuffers(handle_of(file)); }

std::int64_t position_of(File& file)
{
    LARGE_INTEGER at{};
    return SetFilePointerEx(handle_of(file), LARGE_INTEGER{}, &at, FILE_CURRENT) ? at.QuadPart : -1;
}

bool move_to(File& file, std::int64_t offset)
{
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    return SetFilePointerEx(handle_of(file), to, nullptr, FILE_BEGIN);
}

bool set_size(File& file, std::int64_t size) { return move_to(file, size) && SetEndOfFile(handle_of(file)); }

std::int64_t size_now(File& file)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle_of(file), &size) ? size.QuadPart : -1;
}

// Files are copied whole here: has_holes is never set.
Stretch next_data(File&, std::int64_t) { return {-1, -1}; }

std::string last_failure_reason()
{
    const DWORD error = GetLastError();
    // A pipe's reader that went away is no fault of the disk's.
    if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE)
        return "the reader closed it";
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0)
        return "error " + std::to_string(error);
    std::string reason = narrow_from(text);
    LocalFree(text);
    // The system's sentences end in a full stop and a line break.
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'
                               || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

#endif
