// The operating system's file calls. See system.h.
#include "platform/system.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <iterator>

#include "platform/names.h"
#include "platform/textfile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

PfFaults pf_faults;

bool pf_injected(PfOp op) {
    long n = ++pf_faults.calls[op];
    return pf_faults.op == op && n >= pf_faults.nth && n < pf_faults.nth + pf_faults.count;
}

#ifdef _WIN32

namespace {

HANDLE handleOf(SysFile f) { return reinterpret_cast<HANDLE>(f); }

SysFile fileOf(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<SysFile>(h); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE runLock = nullptr;  // the directory's mutex while this run holds it

}  // namespace

SysFile sys_open_regular(const char* name, unsigned& mode) {
    mode = 0;
    if (pf_injected(PF_OPEN)) return kNoFile;
    HANDLE h = CreateFileA(name, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return kNoFile;
    }
    return fileOf(h);
}

SysFile sys_create_new(const char* name, unsigned /*mode*/) {
    if (pf_injected(PF_CREATE)) return kNoFile;
    return fileOf(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
}

SysFile sys_open_in_place(const char* name) {
    if (pf_injected(PF_OPEN)) return kNoFile;
    return fileOf(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool sys_lock_file(SysFile f) {
    if (pf_injected(PF_LOCK_FILE)) return false;
    OVERLAPPED from{};  // the range starts at byte 0 and covers every byte a file can have
    return LockFileEx(handleOf(f), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &from);
}

void sys_unlock_file(SysFile f) {
    if (pf_injected(PF_LOCK_FILE)) return;
    // Unlocked at once rather than at some time after the close, so that the
    // host can read the file as soon as the run ends. Should this fail, the
    // close that follows releases the lock all the same.
    OVERLAPPED from{};
    UnlockFileEx(handleOf(f), 0, MAXDWORD, MAXDWORD, &from);
}

bool sys_size(SysFile f, std::uint64_t& size) {
    size = 0;
    if (pf_injected(PF_SIZE)) return false;
    LARGE_INTEGER got;
    if (!GetFileSizeEx(handleOf(f), &got)) return false;
    size = static_cast<std::uint64_t>(got.QuadPart);
    return true;
}

long sys_read(SysFile f, char* buf, std::size_t n) {
    if (pf_injected(PF_READ)) return -1;
    DWORD got = 0;
    if (!ReadFile(handleOf(f), buf, static_cast<DWORD>(n), &got, nullptr)) return -1;
    return static_cast<long>(got);
}

bool sys_write(SysFile f, const char* buf, std::size_t n) {
    if (pf_injected(PF_WRITE)) return false;
    DWORD done = 0;
    return WriteFile(handleOf(f), buf, static_cast<DWORD>(n), &done, nullptr) && done == n;
}

bool sys_rewind(SysFile f) {
    if (pf_injected(PF_SEEK)) return false;
    return SetFilePointer(handleOf(f), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool sys_resize(SysFile f, std::uint64_t size) {
    if (pf_injected(PF_TRUNCATE)) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(handleOf(f), at, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(f));
}

bool sys_close(SysFile f) {
    bool failed = pf_injected(PF_CLOSE);
    return CloseHandle(handleOf(f)) && !failed;
}

SysRename sys_rename(const char* from, const char* to) {
    if (pf_injected(PF_RENAME)) return SYS_FAILED;
    if (pf_faults.renamesBlocked) return SYS_BLOCKED;
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return SYS_RENAMED;
    DWORD err = GetLastError();
    bool busy = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_LOCK_VIOLATION;
    return busy ? SYS_BLOCKED : SYS_FAILED;
}

namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

DWORD attributesOf(const char* name) { return GetFileAttributesA(name); }

bool isDirectory(DWORD attributes) {
    return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Takes the read-only attribute off the file `name`. False where it has none
// or keeps it.
bool clearReadOnly(const char* name) {
    DWORD now = attributesOf(name);
    if (now == kNoAttributes || isDirectory(now) || (now & FILE_ATTRIBUTE_READONLY) == 0) return false;
    return sys_set_attributes(name, (now & kSysKeptAttributes) & ~FILE_ATTRIBUTE_READONLY);
}

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// What a removal refused with `error` means. A file that another program
// holds open without letting others remove it can be removed only once
// that program lets go; one removed while it is held so stays until then
// and refuses a second removal as access denied, as a file that this
// process may not remove does: both count as held, for a bounded number of
// later tries.
SysRemove removeRefused(DWORD error, const char* name) {
    if (isGone(error)) return SYS_ABSENT;
    if (error == ERROR_SHARING_VIOLATION) return SYS_HELD;
    if (error == ERROR_ACCESS_DENIED && !isDirectory(attributesOf(name))) return SYS_HELD;
    return SYS_REFUSED;
}

// A removed file whose name is still there waits for the programs that
// hold it open to let go.
SysRemove removed(const char* name) {
    return attributesOf(name) == kNoAttributes && isGone(GetLastError()) ? SYS_REMOVED : SYS_HELD;
}

}  // namespace

SysRemove sys_remove(const char* name) {
    if (pf_injected(PF_REMOVE)) return SYS_REFUSED;
    if (DeleteFileA(name)) return removed(name);
    DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED && clearReadOnly(name)) {
        if (DeleteFileA(name)) return removed(name);
        error = GetLastError();
    }
    return removeRefused(error, name);
}

bool sys_get_attributes(const char* name, unsigned& attributes) {
    attributes = 0;
    if (pf_injected(PF_ATTRIB)) return false;
    DWORD now = attributesOf(name);
    if (now == kNoAttributes) return false;
    attributes = now & kSysKeptAttributes;
    return true;
}

bool sys_set_attributes(const char* name, unsigned attributes) {
    if (pf_injected(PF_ATTRIB)) return false;
    // The file's other settable attributes stay as they are.
    constexpr DWORD kOthers = FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
    DWORD now = attributesOf(name);
    if (now == kNoAttributes) return false;
    DWORD wanted = (now & kOthers) | (attributes & kSysKeptAttributes);
    return SetFileAttributesA(name, wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
}

namespace {

// The longest path the system hands out, in wide characters.
constexpr DWORD kLongestPath = 32768;

// The current directory's full path as the system resolves it, into `path`
// (kLongestPath wide characters): the final path of the directory itself,
// which is one spelling for one directory (links, substituted drives and
// short names resolved), or, where the file system cannot tell that, its
// full path name. Returns the length, 0 on an error.
DWORD directoryPath(wchar_t* path) {
    DWORD len = 0;
    HANDLE dir = CreateFileW(L".", FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir != INVALID_HANDLE_VALUE) {
        len = GetFinalPathNameByHandleW(dir, path, kLongestPath, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        CloseHandle(dir);
    }
    if (len == 0 || len >= kLongestPath) len = GetFullPathNameW(L".", kLongestPath, path, nullptr);
    return len < kLongestPath ? len : 0;
}

// The name of the run lock of the current directory: its path folded to
// capitals by the rules that the file system compares names by (the
// invariant, non-linguistic upper case), hashed with 64-bit FNV-1a over the
// UTF-16 code units (low byte first) and written as 16 hexadecimal digits.
// Any path gives a name of the same length, and every build the same name.
bool runLockName(wchar_t (&name)[64]) {
    static wchar_t path[kLongestPath];
    static wchar_t folded[kLongestPath];
    DWORD len = directoryPath(path);
    int foldedLen = len == 0 ? 0
                             : LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path, static_cast<int>(len),
                                             folded, static_cast<int>(kLongestPath), nullptr, nullptr, 0);
    if (foldedLen <= 0) return false;
    std::uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < foldedLen; ++i) {
        const auto unit = static_cast<std::uint16_t>(folded[i]);
        hash = (hash ^ (unit & 0xFFu)) * 1099511628211ull;
        hash = (hash ^ (unit >> 8)) * 1099511628211ull;
    }
    const wchar_t prefix[] = L"Local\\qxsearch-run-";
    std::wmemcpy(name, prefix, std::size(prefix) - 1);
    wchar_t* digit = name + std::size(prefix) - 1;
    for (int shift = 60; shift >= 0; shift -= 4) *digit++ = L"0123456789abcdef"[(hash >> shift) & 0xF];
    *digit = L'\0';
    return true;
}

}  // namespace

bool pf_lock_run() {
    if (pf_injected(PF_LOCK)) return false;  // as where no lock can be made
    wchar_t name[64];
    if (!runLockName(name)) return false;
    // Should the process end without pf_unlock_run, the system releases the
    // mutex (abandoned) and the next run takes it.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (!mutex) return false;
    DWORD got = WaitForSingleObject(mutex, static_cast<DWORD>(pf_waits.lockMs));
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
        runLock = mutex;
        return true;
    }
    CloseHandle(mutex);
    return false;
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

#else  // POSIX

SysFile sys_open_regular(const char* name, unsigned& mode) {
    mode = 0;
    if (pf_injected(PF_OPEN)) return kNoFile;
    // Without O_NONBLOCK the open of a FIFO would wait for a writer.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kNoFile;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return kNoFile;
    }
    mode = st.st_mode & 0777;
    return fd;
}

SysFile sys_create_new(const char* name, unsigned mode) {
    if (pf_injected(PF_CREATE)) return kNoFile;
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return kNoFile;
    if (mode != 0 && (pf_injected(PF_MODE) || fchmod(fd, mode) != 0)) {
        close(fd);
        unlink(name);
        return kNoFile;
    }
    return fd;
}

SysFile sys_open_in_place(const char* name) {
    if (pf_injected(PF_OPEN)) return kNoFile;
    int fd = open(name, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? kNoFile : fd;
}

bool sys_lock_file(SysFile /*f*/) { return !pf_injected(PF_LOCK_FILE); }

void sys_unlock_file(SysFile /*f*/) { pf_injected(PF_LOCK_FILE); }

bool sys_size(SysFile f, std::uint64_t& size) {
    size = 0;
    if (pf_injected(PF_SIZE)) return false;
    struct stat st {};
    if (fstat(static_cast<int>(f), &st) != 0) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

long sys_read(SysFile f, char* buf, std::size_t n) {
    if (pf_injected(PF_READ)) return -1;
    for (;;) {
        ssize_t got = read(static_cast<int>(f), buf, n);
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

bool sys_write(SysFile f, const char* buf, std::size_t n) {
    if (pf_injected(PF_WRITE)) return false;
    while (n > 0) {
        ssize_t done = write(static_cast<int>(f), buf, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        buf += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

bool sys_rewind(SysFile f) {
    if (pf_injected(PF_SEEK)) return false;
    return lseek(static_cast<int>(f), 0, SEEK_SET) == 0;
}

bool sys_resize(SysFile f, std::uint64_t size) {
    if (pf_injected(PF_TRUNCATE)) return false;
    return ftruncate(static_cast<int>(f), static_cast<off_t>(size)) == 0;
}

bool sys_close(SysFile f) {
    bool failed = pf_injected(PF_CLOSE);
    return close(static_cast<int>(f)) == 0 && !failed;
}

SysRename sys_rename(const char* from, const char* to) {
    if (pf_injected(PF_RENAME)) return SYS_FAILED;
    if (pf_faults.renamesBlocked) return SYS_BLOCKED;
    if (rename(from, to) == 0) return SYS_RENAMED;
    return errno == EBUSY ? SYS_BLOCKED : SYS_FAILED;
}

bool sys_rename_new(const char* from, const char* to) {
    if (pf_injected(PF_RENAME)) return false;
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;  // else a file system without it
#endif
    // A new link fails where `to` exists; the old name goes once it is made.
    if (link(from, to) != 0) return false;
    unlink(from);
    return true;
}

SysRemove sys_remove(const char* name) {
    if (pf_injected(PF_REMOVE)) return SYS_REFUSED;
    if (unlink(name) == 0) return SYS_REMOVED;
    return errno == ENOENT ? SYS_ABSENT : SYS_REFUSED;
}

bool sys_get_attributes(const char* /*name*/, unsigned& attributes) {
    attributes = 0;
    return false;
}

bool sys_set_attributes(const char* /*name*/, unsigned /*attributes*/) { return true; }

namespace {

int runLock = -1;  // the directory, open and locked while this run holds it

}  // namespace

bool pf_lock_run() {
    if (pf_injected(PF_LOCK)) return false;  // a lock call that fails
    // The lock is on the directory itself, so that no file is made for it.
    int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;  // a directory that cannot be read: unlocked
    bool held = false, waitedOut = false;
    for (int waited = 0, step = 1; !held && !waitedOut; waited += step, step = step < 64 ? 2 * step : 64) {
        held = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!held && errno != EWOULDBLOCK && errno != EINTR) break;  // a file system without locks
        waitedOut = !held && waited >= pf_waits.lockMs;
        if (!held && !waitedOut) sys_sleep_ms(step);
    }
    if (held) runLock = fd;
    else close(fd);
    return !waitedOut;
}

void pf_unlock_run() {
    if (runLock < 0) return;
    close(runLock);  // releases the lock
    runLock = -1;
}

void pf_fill_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number is fd itself.
            if (open("/dev/null", O_RDWR) != fd) return;
        }
    }
}

void sys_sleep_ms(int ms) {
    timespec wait{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

#endif
