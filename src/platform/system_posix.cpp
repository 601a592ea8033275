// The POSIX half of system.h: file descriptors.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/seam.h"
#include "platform/system.h"

namespace {

int runLock = -1;  // the directory, open and locked while this run holds it

int fd(SysFile f) { return static_cast<int>(f); }

// Keeps the open descriptor `f` where its file is a regular one, and has no
// other name where `oneName`; `st` receives the file's status.
SysFile keptIf(int f, struct stat& st, bool oneName) {
    if (f >= 0 && fstat(f, &st) == 0 && S_ISREG(st.st_mode) && (!oneName || st.st_nlink == 1)) return f;
    if (f >= 0) close(f);
    return kNoFile;
}

// Renames `from` to `to` only where no `to` exists. False otherwise or on an
// error.
bool renameNew(const char* from, const char* to) {
    if (pf_injected(PF_RENAME_NEW)) return false;
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;  // else a file system without it
#endif
    // A new link fails where `to` exists; the old name goes once it is made.
    if (link(from, to) != 0) return false;
    unlink(from);
    return true;
}

}  // namespace

SysFile sys_open_regular(const char* name, unsigned& mode, bool /*othersMayWrite*/) {
    mode = 0;
    if (pf_injected(PF_OPEN_REGULAR)) return kNoFile;
    // Without O_NONBLOCK the open of a FIFO would wait for a writer.
    struct stat st {};
    SysFile f = keptIf(open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC), st, false);
    if (f != kNoFile) mode = st.st_mode & 0777;
    return f;
}

SysFile sys_create_new(const char* name, unsigned mode) {
    if (pf_injected(PF_CREATE_NEW)) return kNoFile;
    int f = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (f < 0) return kNoFile;
    if (mode != 0 && (pf_injected(PF_MODE) || fchmod(f, mode) != 0)) {
        close(f);
        unlink(name);
        return kNoFile;
    }
    return f;
}

SysFile sys_open_in_place(const char* name) {
    if (pf_injected(PF_OPEN_IN_PLACE)) return kNoFile;
    struct stat st {};
    return keptIf(open(name, O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC), st, true);
}

bool sys_size(SysFile f, std::uint64_t& size) {
    struct stat st {};
    const bool known = !pf_injected(PF_SIZE) && fstat(fd(f), &st) == 0;
    size = known ? static_cast<std::uint64_t>(st.st_size) : 0;
    return known;
}

long sys_read(SysFile f, char* buf, std::size_t n) {
    if (pf_injected(PF_READ)) return -1;
    for (;;) {
        ssize_t got = read(fd(f), buf, n);
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

bool sys_write(SysFile f, const char* buf, std::size_t n) {
    if (pf_injected(PF_WRITE)) return false;
    while (n > 0) {
        ssize_t done = write(fd(f), buf, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        buf += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

bool sys_seek(SysFile f, std::uint64_t at) {
    return !pf_injected(PF_SEEK) && lseek(fd(f), static_cast<off_t>(at), SEEK_SET) == static_cast<off_t>(at);
}

bool sys_resize(SysFile f, std::uint64_t size) {
    return !pf_injected(PF_RESIZE) && ftruncate(fd(f), static_cast<off_t>(size)) == 0;
}

bool sys_flush(SysFile f) { return !pf_injected(PF_FLUSH) && fsync(fd(f)) == 0; }

bool sys_close(SysFile f) {
    const bool failed = pf_injected(PF_CLOSE);
    return close(fd(f)) == 0 && !failed;
}

SysRename sys_rename(const char* from, const char* to) {
    if (pf_injected(PF_RENAME)) return SYS_FAILED;
    if (pf_faults.renamesBlocked) return SYS_BLOCKED;
    if (rename(from, to) == 0) return SYS_RENAMED;
    return errno == EBUSY ? SYS_BLOCKED : SYS_FAILED;
}

SysRemove sys_remove(const char* name) {
    if (pf_injected(PF_REMOVE)) return SYS_REFUSED;
    if (unlink(name) == 0) return SYS_REMOVED;
    return errno == ENOENT ? SYS_ABSENT : SYS_REFUSED;
}

bool sys_get_attributes(const char* /*name*/, unsigned& attributes) {
    attributes = 0;
    return !pf_injected(PF_GET_ATTRIBUTES);
}

bool sys_set_attributes(const char* /*name*/, unsigned /*attributes*/) { return !pf_injected(PF_SET_ATTRIBUTES); }

void pf_normalise_name(const char* lower, const char* upper) { renameNew(lower, upper); }

bool pf_lock_run() {
    // The lock is on the directory itself, so that no file is made for it.
    int dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return true;  // a directory that cannot be read: unlocked
    bool unsupported = false;  // a file system without locks: unlocked
    const bool ended = sys_retry(pf_waits.lockMs, [&] {
        if (pf_injected(PF_LOCK_RUN)) return false;
        if (flock(dir, LOCK_EX | LOCK_NB) == 0) return true;
        unsupported = errno != EWOULDBLOCK && errno != EINTR;
        return unsupported;
    });
    if (ended && !unsupported) runLock = dir;
    else close(dir);
    return ended;
}

void pf_unlock_run() {
    if (runLock < 0) return;
    close(runLock);  // releases the lock
    runLock = -1;
}

void pf_fill_standard_streams() {
    for (int n = 0; n <= 2; ++n) {
        // The lowest free number is n itself.
        if (fcntl(n, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) != n) return;
    }
}

void sys_sleep_ms(int ms) {
    timespec wait{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

#endif
