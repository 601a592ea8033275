// The run driver: the order of a run, the names of the exchange file and
// the work file, the element limit, and the exit status.
#pragma once

struct TextFile;

// File names, all in the current directory.
inline constexpr const char* kExchangeName = "QXC_TEMP.TXT";
inline constexpr const char* kExchangeLowerName = "qxc_temp.txt";
inline constexpr const char* kWorkName = "QXC_TEMP.$$$";

// The most lines an exchange file may have.
inline constexpr unsigned kElementLimit = 150000;

// Counts the lines of the exchange file `from`, open for reading, as a line
// read with a 255-byte buffer takes them (a line over 253 bytes counts once
// per piece), at most kElementLimit + 1, and moves back to its start for the
// reader. The work file needs no copy: it is a new file of the run's own.
// Returns the count, or -1 after reporting a file that cannot be read.
int Tcopy(TextFile* from);

// Runs the filter with the program's argument vector (null-terminated) and
// returns the exit status.
int run(char** argv);
