#pragma once

#include <cstdint>
#include <string>

// What a split or a join tells of its work as it goes; the console decides
// whether and how to show it. Nothing is shown until one is set.
struct Progress {
    virtual ~Progress() = default;
    // A piece starts: its name, its place in the run and the bytes it takes.
    virtual void piece(const std::string&, std::int64_t /*number*/, std::int64_t /*count*/, std::int64_t /*bytes*/) {}
    // So many more bytes of the piece are copied.
    virtual void moved(std::int64_t) {}
    // All is copied; what is still in memory goes to the disk.
    virtual void flushing() {}
};

Progress& progress();
void set_progress(Progress& shown);
