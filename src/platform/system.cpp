// The operating system's file calls. See system.h.
#include "platform/system.h"

#include <cerrno>
#include <cstdio>

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
    return fileOf(CreateFileA(name, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

bool sys_truncate_here(SysFile f) {
    if (pf_injected(PF_TRUNCATE)) return false;
    return SetEndOfFile(handleOf(f));
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

bool sys_remove(const char* name) {
    if (pf_injected(PF_REMOVE)) return false;
    return DeleteFileA(name);
}

bool pf_lock_run() {
    if (pf_injected(PF_LOCK)) return true;  // run unlocked, as where locks fail
    // One mutex per directory, named after its full path in capitals (the
    // file system ignores case); a backslash may not appear in the name.
    char name[MAX_PATH + 32] = "Local\\qxsearch-run:";
    std::size_t at = sizeof "Local\\qxsearch-run:" - 1;
    DWORD len = GetFullPathNameA(".", MAX_PATH, name + at, nullptr);
    if (len == 0 || len >= MAX_PATH) return true;
    for (char* p = name + at; *p; ++p) {
        if (*p == '\\') *p = '/';
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    // Should the process end without sys_unlock_directory, the system
    // releases the mutex (abandoned) and the next run takes it.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (!mutex) return true;
    DWORD got = WaitForSingleObject(mutex, static_cast<DWORD>(pf_waits.lockMs));
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
        runLock = mutex;
        return true;
    }
    CloseHandle(mutex);
    return got != WAIT_TIMEOUT;
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
    int fd = open(name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? kNoFile : fd;
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

bool sys_truncate_here(SysFile f) {
    if (pf_injected(PF_TRUNCATE)) return false;
    off_t at = lseek(static_cast<int>(f), 0, SEEK_CUR);
    return at >= 0 && ftruncate(static_cast<int>(f), at) == 0;
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

bool sys_remove(const char* name) {
    if (pf_injected(PF_REMOVE)) return false;
    return unlink(name) == 0;
}

namespace {

int runLock = -1;  // the directory, open and locked while this run holds it

}  // namespace

bool pf_lock_run() {
    if (pf_injected(PF_LOCK)) return true;  // run unlocked, as where locks fail
    // The lock is on the directory itself, so that no file is made for it.
    int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;
    bool held = false, waitedOut = false;
    for (int waited = 0, step = 1; !held && !waitedOut; waited += step, step = step < 64 ? 2 * step : 64) {
        held = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!held && errno != EWOULDBLOCK && errno != EINTR) break;  // no locks here
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
