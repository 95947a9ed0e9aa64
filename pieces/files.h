#pragma once

// The file system calls that the split and the join make, one file per
// system (files_linux.cpp, files_windows.cpp). Names are UTF-8, as the
// console hands them over.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What makes two names one file: its device and its number there.
struct FileId {
    std::uint64_t device{}, number{};
    bool operator==(const FileId& other) const { return device == other.device && number == other.number; }
};

// An open file, or none, with the name it is known by in messages. Dropping
// it closes it unchecked: by then any failure has been reported.
struct File {
    // The same on Windows, where it is INVALID_HANDLE_VALUE.
    static constexpr std::intptr_t no_handle = -1;

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    std::intptr_t handle = no_handle;
    std::string name;
    std::int64_t size{};  // size, times, identity and holes: of a file opened for reading
    std::int64_t modified{}, changed{};  // its bytes' time, and its entry's, which no one can set back
    FileId id;
    bool has_holes = false;  // fewer bytes on the disk than its size
    std::int64_t allocated{};  // the bytes it takes on the disk
    std::optional<bool> regular;  // known once asked
};

// Opens a regular file for reading, at offset 0, with its size and identity;
// false when it cannot be opened or is no regular file.
bool open_for_reading(File& file, const std::string& name);

// Opens a file for writing, created where there is none. A piece is never
// written through a link, nor waited on: `no_link` refuses a link at the
// name, and opens a named pipe without waiting for a reader; a piece may be
// read back too. Nothing is cut yet, so that a caller can look at what it
// opened first.
bool open_for_writing(File& file, const std::string& name, bool no_link);

// Opens a piece for writing, created where there is none, cut to nothing,
// failing its writes rather than waiting where a pipe was put there since,
// never through a link; for a name that the folder's listing shows free.
bool create_piece(File& file, const std::string& name);

// Whether an open file's size or either of its times differ from those it
// was opened with.
bool changed_since_opened(File& file);

// Creates `name` for writing (and reading back) where nothing has it,
// never through a link: `exists` where something has. The file is held as
// this run's own while it is open (remove_if_unheld).
enum class Created { made, exists, failed };
Created create_new(File& file, const std::string& name);

// Gives a new file the permission bits of the regular file `like`, where
// there is one, and its owner and group as far as the system lets.
bool take_permissions(File& file, const std::string& like);

// Whether this user may write into the existing file `name`, as opening it
// for writing would tell.
bool may_write(const std::string& name);

// How many files this process may hold open at once, all told, its limit
// first raised as far as the system lets it.
std::int64_t most_files_open();

// Puts the file `from` in place of `name`, whole, in one step.
bool replace(const std::string& from, const std::string& name);
bool remove_file(const std::string& name);

// Removes the regular file `name` where no live run holds it (create_new);
// false where one does, or it cannot be removed.
bool remove_if_unheld(const std::string& name);

// What a name is, links not followed unless asked: none, a link, a folder,
// a regular file (`links` names in all), another kind (a device, a pipe),
// or a name that no file can have here (too long, through a file, or not to
// be looked at).
struct NameInfo {
    enum Kind : unsigned char { none, link, folder, regular, other, unusable } kind = none;
    FileId id;
    std::uint64_t links{};
    std::int64_t size{};
    std::int64_t allocated{};  // the bytes it takes on its disk
};
NameInfo about(const std::string& name, bool follow_links = false);

// The name that a chain of links at `name` leads to in the end; the name
// itself when it is no link; nothing for a loop, a chain longer than the
// system follows, or a link that leads to no name (a pipe's).
std::optional<std::string> final_name(const std::string& name);

// Whether what `name` leads to, links followed, is a device or a pipe,
// which takes bytes as they come and cannot be replaced.
bool is_device_or_pipe(const std::string& name);

// The file that the program's own standard output is, where it is one;
// and that output opened again, sharing where it stands, so that bytes
// written there follow what the program printed.
std::optional<FileId> standard_output();
bool open_standard_output(File& file);

// `name` without its folders; and its folder, "." where it names none.
std::string base_name(const std::string& name);
std::string folder_name(const std::string& name);

// What the file system of `folder` has room for, as far as it tells: the
// largest file it holds, the bytes free to this user, whether holes stay
// holes, and whether a copy within it may share its bytes (reflink) rather
// than take more room; the unit it gives a file room in, and how many more
// files it holds.
struct Room {
    std::optional<std::int64_t> largest_file, free, free_files;
    std::int64_t unit = 1;
    bool keeps_holes = true, shares_copies = false;
    std::uint64_t device = 0;  // as FileId has it; 0 where not told
};
Room room_in(const std::string& folder);

// Whether an open file is one on a disk, not a device or a pipe.
bool is_regular(File& file);

// Whether what was written to an open file can be taken back: a file on a
// disk, not opened to append, where every write lands at its end.
bool can_rewind(File& file);

// Closes a file; false when what was written to it did not all land.
bool close_file(File& file);

// Puts what was written to a file onto its device, size included, before
// it returns; a device or a pipe has nothing to put. False when the device
// did not take it.
bool flush_file(File& file);

// Opens what puts onto the device the folder entry of `name`, a file about
// to be put in place from `inside`, open in the same folder: the folder, or
// where it cannot be read, `inside` again, for its whole file system. Opened
// before the file is put in place, so that nothing can fail after but the
// flush itself.
bool open_entry(File& entry, const std::string& name, File& inside);
bool flush_entry(File& entry);

// Locks `folder` against other splits and joins until `lock` is closed, as
// it is when the process ends, however it ends; a lock held by another run
// is `busy`. The current folder's lock also serves `flush_folder`.
enum class Lock { taken, busy, failed };
Lock lock_folder(File& lock, const std::string& folder = ".");

// Puts onto the device at once, where the system can, all that was written
// into the locked folder's file system since it was locked (Linux's
// syncfs); false where each file must be flushed on its own.
bool can_flush_folder();
bool flush_folder(File& lock);

// A name in the current folder; what the listing tells of its file, where
// it tells it.
struct Entry {
    const char* name;
    std::optional<std::uint64_t> number;  // the file's number on its device
    std::optional<NameInfo::Kind> kind;  // links not followed
};

// Calls `take` with each name in `folder`, in no order; false when the
// folder cannot be read.
bool each_name_here(void (*take)(const Entry& entry, void* context), void* context, const std::string& folder = ".");

// Whether the file system takes FILE0.SPL and file0.spl for one name.
extern const bool names_ignore_case;

// The file that a name leads to, links followed; nothing when there is none.
std::optional<FileId> identity_of(const std::string& name);

// Reads at most `count` bytes where the file stands and moves on past them;
// returns how many, 0 at the end of a file, -1 on failure.
std::int64_t read_some(File& file, char* bytes, std::int64_t count);

// Reads at most `count` bytes at `offset`, leaving where the file stands as
// it was, so that another thread may read and write it meanwhile.
std::int64_t read_at(File& file, char* bytes, std::int64_t count, std::int64_t offset);

// Writes all `count` bytes where the file stands; false on failure.
bool write_all(File& file, const char* bytes, std::int64_t count);

// Writes all `count` bytes at `offset`, leaving where the file stands as
// it was; false on failure.
bool write_at(File& file, const char* bytes, std::int64_t count, std::int64_t offset);

// Lets the system copy at most `limit` bytes from where `from` stands to
// where `to` stands, without a trip through the program, sharing them where
// the file system can; returns how many it copied, moving both on past them.
// It stops short, and says nothing of why, at the end of `from`, on a
// failure of either file, and between files it does not copy between: it
// then sets `refused`, as it would refuse those two again.
std::int64_t copy_in_system(File& from, File& to, std::int64_t limit, bool& refused);

// Waits for the bytes of a written file sent on to its device before, then
// sends those before `end` that are not yet, without waiting for them: a
// long copy then holds little in memory, and shows as done what the disk
// has taken. One call, so that a test can stop the program at each.
void write_back(File& file, std::int64_t end);

// Where a file stands, and a move to another offset (past the end makes a
// hole when something is written there); -1 and false on failure.
std::int64_t position_of(File& file);
bool move_to(File& file, std::int64_t offset);

// A written file's size set to `size`, so that it may end in a hole; and
// its size as it stands, -1 where it cannot be told.
bool set_size(File& file, std::int64_t size);
std::int64_t size_now(File& file);

// The first stretch of data at or after `offset` in a file with holes, as
// [start, end); an empty one at the file's end when only a hole is left;
// start -1 when the system cannot tell. It leaves the file anywhere.
struct Stretch {
    std::int64_t start{}, end{};
};
Stretch next_data(File& file, std::int64_t offset);

// Why the last call above failed, in the system's words.
std::string last_failure_reason();
