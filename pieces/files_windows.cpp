// Built for Windows alone; pieces/files_posix.cpp serves the rest.
#ifdef _WIN32

#include "pieces/files.h"

#include <windows.h>

namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.handle); }

// Opened by its whole Unicode name, whatever the ANSI code page can spell.
HANDLE open_file(const std::string& name, DWORD access, DWORD disposition, DWORD flags)
{
    // A name with a NUL in it would silently open a different, shorter name.
    if (name.find('\0') != std::string::npos)
        return INVALID_HANDLE_VALUE;
    std::wstring wide(name.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, flags,
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

} // namespace

File::~File()
{
    if (handle != no_handle)
        CloseHandle(handle_of(*this));
}

Opened open_for_reading(File& file, const std::string& name)
{
    const HANDLE opened = open_file(name, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Opened::missing : Opened::refused;
    }
    file.handle = reinterpret_cast<std::intptr_t>(opened);
    const auto info = information(opened);
    if (!info || GetFileType(opened) != FILE_TYPE_DISK || (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return Opened::refused;
    file.size = static_cast<std::int64_t>(std::uint64_t{info->nFileSizeHigh} << 32 | info->nFileSizeLow);
    file.id = id_of(*info);
    return Opened::yes;
}

bool open_for_writing(File& file, const std::string& name)
{
    file.handle = reinterpret_cast<std::intptr_t>(
        open_file(name, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
    return file.handle != File::no_handle;
}

bool close_file(File& file)
{
    const bool closed = CloseHandle(handle_of(file));
    file.handle = File::no_handle;
    return closed;
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

std::int64_t write_some(File& file, const char* bytes, std::int64_t count)
{
    DWORD put = 0;
    return WriteFile(handle_of(file), bytes, static_cast<DWORD>(count), &put, nullptr) ? std::int64_t{put} : -1;
}

// Block cloning needs ReFS, and wine, where this is tested, has none: every
// byte goes through the block copy.
std::int64_t copy_in_system(File&, File&, std::int64_t) { return 0; }

#endif
