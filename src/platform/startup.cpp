// The Windows program's start-up, linked into the program only (not into
// its tests).
//
// A Windows program gets its command line as one string; the C runtime's
// start-up splits it into arguments by the Windows quoting rules before
// main runs. The host types wildcards the way a command prompt user would,
// and expects an unquoted "*" or "?" to stand for the matching file names
// (left as typed when nothing matches; literal inside double quotes).
// MinGW-w64's start-up does that expansion only when _dowildcard is
// non-zero, and its default depends on how the runtime was built, so the
// program sets it here rather than parsing the command line itself.
#ifdef __MINGW32__
extern "C" {
int _dowildcard = -1;
}
#endif
