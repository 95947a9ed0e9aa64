#pragma once

// The questions of a split and of a join, asked at the console, their
// answers read and checked; then the operation runs with what was answered.
// An answer that is missing or unusable fails the program with a message.
void split_dialogue();
void join_dialogue();
