#pragma once

#include "pieces/files.h"

#include <string>

// A file written under a temporary name beside `name`, with the permission
// bits of the file it replaces, and put in its place whole once complete;
// dropped before that, the temporary file goes, and `name` is as it was.
// Failures to write it name `told`, as the user gave it.
// Removes the temporary files that replacements of `name` left beside it,
// where a split (`by_split`) or a join was stopped before it could, and
// that no live run holds; tells of each.
void sweep_leftovers(const std::string& name, bool by_split);

class Replacement {
public:
    Replacement(const std::string& name, const std::string& told);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    File& file() { return file_; }

    // Flushes it onto the device, puts it in place of `name` and flushes
    // the folder's entry; a failure names `told`, and says whether `name`
    // was replaced.
    void put_in_place();

private:
    std::string name_, told_, temporary_;
    File file_;
    bool placed_ = false;
};
