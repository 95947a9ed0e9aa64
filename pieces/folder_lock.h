#pragma once

#include <string>

struct File;

// Holds the current folder against other splits and joins until `lock`
// closes; fails the program when another holds it.
void lock_this_folder(File& lock);

// The same for the folder a join's output `told` is written into, where it
// is another.
void lock_output_folder(File& lock, const std::string& folder, const std::string& told);
