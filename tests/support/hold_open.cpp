// A test helper for the Windows build: holds a file open, as a virus
// scanner, an indexer or the host may, while a run of the filter goes on.
//
//   hold_open FILE SHARING   (SHARING: "r", "rw" or "rwd": what the holder
//                             lets others do: read, write, delete)
//
// Opens FILE for reading with that sharing, prints "ready", and keeps it
// open until its standard input ends. Exit status 2 when FILE cannot be
// opened.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    DWORD share = 0;
    if (std::strchr(argv[2], 'r')) share |= FILE_SHARE_READ;
    if (std::strchr(argv[2], 'w')) share |= FILE_SHARE_WRITE;
    if (std::strchr(argv[2], 'd')) share |= FILE_SHARE_DELETE;
    HANDLE h = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 2;
    std::puts("ready");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    CloseHandle(h);
    return 0;
}
