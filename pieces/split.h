#pragma once

// Asks for a file and a piece size in KB and cuts the file into
// FILE0.SPL, FILE1.SPL, ... in the current directory.
void split_file();
