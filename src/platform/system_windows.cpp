// The Windows half of system.h: Win32 handles, "ANSI" names.
#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/seam.h"
#include "platform/system.h"

namespace {

HANDLE handleOf(SysFile f) { return reinterpret_cast<HANDLE>(f); }

SysFile fileOf(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<SysFile>(h); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

HANDLE runLock = nullptr;  // the folder's mutex while this run holds it

// Keeps the handle `h` only where `fits` says its file is of the kind wanted.
SysFile keptIf(HANDLE h, bool (*fits)(HANDLE)) {
    if (h == INVALID_HANDLE_VALUE || fits(h)) return fileOf(h);
    CloseHandle(h);
    return kNoFile;
}

bool isDisk(HANDLE h) { return GetFileType(h) == FILE_TYPE_DISK; }

// A file of one name that is no reparse point, locked whole (the range
// from byte 0 covers every byte a file can have).
bool isPlainAndLocked(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    OVERLAPPED from{};
    return isDisk(h) && GetFileInformationByHandle(h, &info) && info.nNumberOfLinks == 1 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
           LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &from);
}

bool moveTo(HANDLE h, std::uint64_t at) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(at);
    return SetFilePointerEx(h, to, nullptr, FILE_BEGIN);
}

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Sets `attributes` (of kSysAttributes) on `name`, which has `now`; its
// other settable attributes stay as they are.
bool setAttributes(const char* name, DWORD now, unsigned attributes) {
    constexpr DWORD kOthers = FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
    const DWORD wanted = (now & kOthers) | (attributes & kSysAttributes);
    return SetFileAttributesA(name, wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
}

// The name of the current folder's run lock, from its volume serial number
// and file ID, which identify it whatever spelling of its path (short
// names, links, substituted drives, a server's names) led there.
bool runLockName(wchar_t (&name)[48]) {
    HANDLE dir = CreateFileW(L".", FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = dir != INVALID_HANDLE_VALUE && GetFileInformationByHandle(dir, &info);
    if (dir != INVALID_HANDLE_VALUE) CloseHandle(dir);
    return known && std::swprintf(name, std::size(name), L"Global\\qxsearch-run-%08lx%08lx%08lx",
                                  info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow) > 0;
}

// The name under which the current folder holds `wanted`, compared as the
// file system compares names (ignoring case), into `stored`. False where
// none matches.
bool storedName(const char* wanted, char (&stored)[MAX_PATH]) {
    if (pf_injected(PF_FIND_NAME)) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(wanted, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    std::memcpy(stored, found.cFileName, sizeof stored);
    return true;
}

bool renameRetried(const char* from, const char* to) {
    return sys_retry(pf_waits.replaceMs, [&] { return sys_rename(from, to) == SYS_RENAMED; });
}

}  // namespace

SysFile sys_open_regular(const char* name, unsigned& mode, bool othersMayWrite) {
    mode = 0;
    if (pf_injected(PF_OPEN_REGULAR)) return kNoFile;
    return keptIf(CreateFileA(name, GENERIC_READ, othersMayWrite ? kShareAll : FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  isDisk);
}

SysFile sys_create_new(const char* name, unsigned /*mode*/) {
    if (pf_injected(PF_CREATE_NEW)) return kNoFile;
    return fileOf(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
}

SysFile sys_open_in_place(const char* name) {
    if (pf_injected(PF_OPEN_IN_PLACE)) return kNoFile;
    return keptIf(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
                  isPlainAndLocked);
}

bool sys_size(SysFile f, std::uint64_t& size) {
    size = 0;
    LARGE_INTEGER got;
    if (pf_injected(PF_SIZE) || !GetFileSizeEx(handleOf(f), &got)) return false;
    size = static_cast<std::uint64_t>(got.QuadPart);
    return true;
}

long sys_read(SysFile f, char* buf, std::size_t n) {
    DWORD got = 0;
    if (pf_injected(PF_READ) || !ReadFile(handleOf(f), buf, static_cast<DWORD>(n), &got, nullptr)) return -1;
    return static_cast<long>(got);
}

bool sys_write(SysFile f, const char* buf, std::size_t n) {
    DWORD done = 0;
    return !pf_injected(PF_WRITE) && WriteFile(handleOf(f), buf, static_cast<DWORD>(n), &done, nullptr) && done == n;
}

bool sys_seek(SysFile f, std::uint64_t at) { return !pf_injected(PF_SEEK) && moveTo(handleOf(f), at); }

bool sys_resize(SysFile f, std::uint64_t size) {
    return !pf_injected(PF_RESIZE) && moveTo(handleOf(f), size) && SetEndOfFile(handleOf(f));
}

bool sys_flush(SysFile f) { return !pf_injected(PF_FLUSH) && FlushFileBuffers(handleOf(f)); }

bool sys_close(SysFile f) {
    const bool failed = pf_injected(PF_CLOSE);
    // A lock (sys_open_in_place) ends now rather than at some time after the
    // close, so that the host can read the file as soon as the run ends.
    OVERLAPPED from{};
    UnlockFileEx(handleOf(f), 0, MAXDWORD, MAXDWORD, &from);
    return CloseHandle(handleOf(f)) && !failed;
}

SysRename sys_rename(const char* from, const char* to) {
    if (pf_injected(PF_RENAME)) return SYS_FAILED;
    if (pf_faults.renamesBlocked) return SYS_BLOCKED;
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return SYS_RENAMED;
    const DWORD err = GetLastError();
    const bool busy = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_LOCK_VIOLATION;
    return busy ? SYS_BLOCKED : SYS_FAILED;
}

// A file that another program holds open can be removed only once it lets
// go; one removed while held keeps its name until then and refuses a second
// removal as access denied: both count as held.
SysRemove sys_remove(const char* name) {
    if (pf_injected(PF_REMOVE)) return SYS_REFUSED;
    const DWORD now = GetFileAttributesA(name);
    if (now == kNoAttributes) return isGone(GetLastError()) ? SYS_ABSENT : SYS_HELD;
    if (now & FILE_ATTRIBUTE_DIRECTORY) return SYS_REFUSED;
    if (now & FILE_ATTRIBUTE_READONLY) setAttributes(name, now, now & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(name)) {
        return GetFileAttributesA(name) == kNoAttributes && isGone(GetLastError()) ? SYS_REMOVED : SYS_HELD;
    }
    const DWORD error = GetLastError();
    if (isGone(error)) return SYS_ABSENT;
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? SYS_HELD : SYS_REFUSED;
}

bool sys_get_attributes(const char* name, unsigned& attributes) {
    const DWORD now = pf_injected(PF_GET_ATTRIBUTES) ? kNoAttributes : GetFileAttributesA(name);
    attributes = now == kNoAttributes ? 0 : now & kSysAttributes;
    return now != kNoAttributes;
}

bool sys_set_attributes(const char* name, unsigned attributes) {
    const DWORD now = pf_injected(PF_SET_ATTRIBUTES) ? kNoAttributes : GetFileAttributesA(name);
    return now != kNoAttributes && setAttributes(name, now, attributes);
}

void pf_normalise_name(const char* /*lower*/, const char* upper) {
    char name[MAX_PATH];
    if (!storedName(upper, name) || std::strcmp(name, upper) == 0) return;
    renameRetried(name, upper);
    if (!storedName(upper, name) || std::strcmp(name, upper) == 0) return;
    // The one rename kept the old spelling: a rename to a different name and
    // on to the wanted one takes the new spelling.
    const char* temp = "QXC_x2x2.$$$";
    if (renameRetried(name, temp) && !renameRetried(temp, upper)) renameRetried(temp, name);
}

bool pf_lock_run() {
    wchar_t name[48];
    if (!runLockName(name)) return false;
    // Should the process end without pf_unlock_run, the system releases the
    // mutex (abandoned) and the next run takes it.
    HANDLE mutex = nullptr;
    bool failed = false;  // the mutex cannot be had at all
    // An attempt fails while another run holds the mutex, or while the
    // system refuses to open it (another user's run has made it).
    const bool taken = sys_retry(pf_waits.lockMs, [&] {
        if (pf_injected(PF_LOCK_RUN)) return false;
        if (!mutex) mutex = CreateMutexW(nullptr, FALSE, name);
        if (!mutex) return failed = GetLastError() != ERROR_ACCESS_DENIED;
        const DWORD got = WaitForSingleObject(mutex, 0);
        failed = got == WAIT_FAILED;
        return got != WAIT_TIMEOUT;
    }) && !failed;
    if (taken) runLock = mutex;
    else if (mutex) CloseHandle(mutex);
    return taken;
}

void pf_unlock_run() {
    if (!runLock) return;
    ReleaseMutex(runLock);
    CloseHandle(runLock);
    runLock = nullptr;
}

// A Windows program's files are handles, never C runtime descriptors, so a
// missing standard stream cannot be taken by one of them.
void pf_fill_standard_streams() {}

void sys_sleep_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

#endif
