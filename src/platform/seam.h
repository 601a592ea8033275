// The fault seam: the calls of system.h that the system can refuse count
// themselves here, and a test can make any of them fail; and the
// platform's waits, which tests shorten.
#pragma once

// The calls counted: one name for each kind.
enum PfOp {
    PF_OPEN_REGULAR,    // sys_open_regular
    PF_CREATE_NEW,      // sys_create_new
    PF_MODE,            // sys_create_new giving the new file its permission bits (POSIX)
    PF_OPEN_IN_PLACE,   // sys_open_in_place
    PF_SIZE,            // sys_size
    PF_READ,            // sys_read
    PF_WRITE,           // sys_write
    PF_SEEK,            // sys_seek
    PF_RESIZE,          // sys_resize
    PF_FLUSH,           // sys_flush
    PF_CLOSE,           // sys_close
    PF_RENAME,          // sys_rename
    PF_REMOVE,          // sys_remove
    PF_GET_ATTRIBUTES,  // sys_get_attributes
    PF_SET_ATTRIBUTES,  // sys_set_attributes
    PF_FIND_NAME,       // pf_normalise_name's search for the stored name (Windows)
    PF_RENAME_NEW,      // pf_normalise_name's rename that replaces nothing (POSIX)
    PF_LOCK_RUN,        // each attempt of pf_lock_run: a fault is a lock that another run holds
    PF_OP_COUNT
};

// Calls nth to nth + count - 1 (from 1) of `op` fail; with `renamesBlocked`
// every sys_rename fails as blocked by another program's open handle.
// `calls` counts the calls of each kind. A default value injects nothing.
struct PfFaults {
    int op = PF_OP_COUNT;
    long nth = 0;
    long count = 1;
    bool renamesBlocked = false;
    long calls[PF_OP_COUNT] = {};
};
inline PfFaults pf_faults;

// Counts a call of `op` and tells whether it is to fail.
inline bool pf_injected(PfOp op) {
    const long n = ++pf_faults.calls[op];
    return pf_faults.op == op && n >= pf_faults.nth && n < pf_faults.nth + pf_faults.count;
}

// How long the platform waits, in milliseconds: for another run in the
// same folder to end, and for another program to let go of a file.
struct PfWaits {
    int lockMs = 30000;
    int replaceMs = 2000;
};
inline PfWaits pf_waits;
