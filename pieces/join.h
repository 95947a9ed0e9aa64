#pragma once

// Asks for an output file and writes into it FILE0.SPL, FILE1.SPL, ... from
// the current directory, up to the first missing number.
void join_pieces();
