#pragma once

// Clears the console and prints the page of instructions.
void show_help();
