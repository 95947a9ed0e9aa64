#pragma once

// From now on what a split or a join tells is shown at the console: a line
// for each piece a split writes, notes on pieces past the run, and the
// status line where there is one.
void start_console_report();
