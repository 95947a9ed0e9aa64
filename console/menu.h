#pragma once

// The whole life of the program: banner, one question, one operation,
// farewell. Returns the exit status.
int run_menu();
