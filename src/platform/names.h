// The exchange file's name. The host may leave the exchange file under a
// name whose letters differ in case from "QXC_TEMP.TXT" ("qxc_temp.txt",
// "Qxc_Temp.Txt"); the program reads and writes it under the upper-case
// name, and the host finds it there afterwards.
//
// Whatever happens, the exchange file never ends a run under a temporary
// name, and a file left over under a temporary name never takes its place.
// Every rename goes through pf_rename, so a test can make any of them fail.
#pragma once

// Gives the exchange file the name `upper`, the way the platform allows:
// where names tell case apart, pf_normalise_by_rename; where they ignore it
// (Windows), pf_normalise_by_search.
void pf_normalise_name(const char* lower, const char* upper);

// Renames `lower` to `upper` in one step; nothing happens when there is no
// file named `lower`.
void pf_normalise_by_rename(const char* lower, const char* upper);

// Finds the directory entry whose name equals `upper` ignoring case and
// renames it to exactly `upper`: in one step; and only where that leaves the
// old spelling (some file systems keep it when only the case changes),
// through the temporary name kCaseTempName, which replaces a leftover of
// that name. When the second step of that chain fails, the file gets its
// old name back. Nothing happens when no entry matches or one matches
// exactly.
void pf_normalise_by_search(const char* upper);

inline constexpr const char* kCaseTempName = "QXC_x2x2.$$$";
