#include "pieces/replacement.h"

#include "pieces/checksum.h"
#include "pieces/failure.h"
#include "pieces/report.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace {

const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";

// The start of a name, cut before a character's continuation bytes, so
// that it stays a name the system takes.
std::string name_start(const std::string& name, std::size_t most)
{
    std::size_t cut = std::min(most, name.size());
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

// `name`'s folder as it is written in it, and the start of a temporary
// file's name there: `.NAME.zelk-`. A name too long to stand whole in it
// (a name has at most 255 bytes) stands as its start and a checksum of it
// all, `.START~<32 hex digits>.zelk-`, so that the sweep of one name never
// takes the leftover of another that starts alike.
std::string folder_part(const std::string& name) { return name.substr(0, name.size() - base_name(name).size()); }
std::string temporary_start(const std::string& name)
{
    const std::string base = base_name(name);
    if (base.size() <= 100)
        return "." + base + ".zelk-";
    return "." + name_start(base, 64) + "~" + hex_of(checksum_of(base.data(), static_cast<std::int64_t>(base.size())))
           + ".zelk-";
}

// `.NAME.zelk-XXXXXX` beside `name`, six letters or digits drawn anew for
// each try.
std::string temporary_beside(const std::string& name)
{
    static std::minstd_rand draw(static_cast<unsigned>(std::random_device{}())
                                 ^ static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::string made = folder_part(name) + temporary_start(name);
    for (int i = 0; i < 6; ++i)
        made += letters[draw() % 36];
    return made;
}

struct Sweep {
    std::string start;
    std::vector<std::string> found;
};

} // namespace

void sweep_leftovers(const std::string& name, bool by_split)
{
    Sweep sweep{temporary_start(name), {}};
    each_name_here(
        [](const Entry& entry, void* context) {
            auto& sweep = *static_cast<Sweep*>(context);
            const std::string found = entry.name;
            if (found.size() == sweep.start.size() + 6 && found.compare(0, sweep.start.size(), sweep.start) == 0
                && found.find_first_not_of(letters, sweep.start.size()) == std::string::npos)
                sweep.found.push_back(found);
        },
        &sweep, folder_name(name));
    for (const std::string& found : sweep.found) {
        const std::string path = folder_part(name) + found;
        const std::int64_t size = about(path).size;
        if (remove_if_unheld(path))
            report().leftover_removed(path, size, by_split);
    }
}

Replacement::Replacement(const std::string& name, const std::string& told) : name_(name), told_(told)
{
    Created created = Created::exists;
    for (int attempt = 0; attempt < 100 && created == Created::exists; ++attempt)
        created = create_new(file_, temporary_ = temporary_beside(name));
    if (created != Created::made) {
        temporary_.clear();  // whatever it names is not ours
        fail_opening(told);
    }
    file_.name = told;
    // Failing here, the constructor leaves no object to remove what it made.
    if (!take_permissions(file_, name)) {
        close_file(file_);
        remove_file(temporary_);
        fail_opening(told);
    }
}

Replacement::~Replacement()
{
    if (placed_)
        return;
    if (file_.handle != File::no_handle)
        close_file(file_);
    if (!temporary_.empty())
        remove_file(temporary_);
}

// Whatever can fail comes before the file is put in place: after it, a
// failure must not read as if the old file still stood.
void Replacement::put_in_place()
{
    File entry;
    if (!flush_file(file_) || !open_entry(entry, name_, file_) || !close_file(file_))
        fail_writing(told_);
    if (!replace(temporary_, name_))
        fail("Error : " + told_ + " could not be put in place (" + last_failure_reason() + "); it is as it was\n");
    placed_ = true;
    if (!flush_entry(entry))
        fail("Error : " + told_ + " is in place, but the disk did not confirm its name (" + last_failure_reason()
             + ")\n");
}
