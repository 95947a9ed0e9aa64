#pragma once

struct File;

// Holds the current folder against other splits and joins until `lock`
// closes; fails the program when another holds it.
void lock_this_folder(File& lock);
