// A test helper for the Windows build: holds a file open, as a virus
// scanner, an indexer or the host may, or a folder's run lock, as another
// run of the filter does, while a run of the filter goes on.
//
//   hold_open FILE SHARING   (SHARING: "r", "rw" or "rwd": what the holder
//                             lets others do: read, write, delete; with
//                             "l" it also locks the file's first byte)
//   hold_open --run-lock     (the run lock of the current folder, taken by
//                             the filter's own code, without waiting)
//
// Takes the file or the lock, prints "ready", and keeps it until its
// standard input ends. Exit status 2 when FILE cannot be opened; "busy" and
// exit status 3 when another run holds the lock.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/seam.h"
#include "platform/system.h"

namespace {

int holdUntilInputEnds() {
    std::puts("ready");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--run-lock") == 0) {
        pf_waits.lockMs = 0;
        if (!pf_lock_run()) {
            std::puts("busy");
            return 3;
        }
        int status = holdUntilInputEnds();
        pf_unlock_run();
        return status;
    }
    if (argc != 3) return 2;
    DWORD share = 0;
    if (std::strchr(argv[2], 'r')) share |= FILE_SHARE_READ;
    if (std::strchr(argv[2], 'w')) share |= FILE_SHARE_WRITE;
    if (std::strchr(argv[2], 'd')) share |= FILE_SHARE_DELETE;
    HANDLE h = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 2;
    if (std::strchr(argv[2], 'l') && !LockFile(h, 0, 0, 1, 0)) return 2;
    int status = holdUntilInputEnds();
    CloseHandle(h);
    return status;
}
