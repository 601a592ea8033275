// Where a second thread of the program runs. A new thread starts on the
// processor of the thread that made it, and on some systems waits there
// for milliseconds before the scheduler moves it to an idle one; placed on
// another processor from the start, it runs at once.
#pragma once

#include <thread>

// The storage of the variables that each thread reading a part of a shared
// file keeps its own of (the reader's, the search's, the open files). Where
// such a variable costs a call at every use (GCC's Windows targets emulate
// them), they are the process's, and every file is read by one thread
// (kPerThreadState is false).
#if defined(_WIN32)
#define QX_PER_THREAD
inline constexpr bool kPerThreadState = false;
#else
#define QX_PER_THREAD thread_local
inline constexpr bool kPerThreadState = true;
#endif

// How many processors the program may run on (1 where it cannot be told).
int pf_processors();

// Moves the new thread `t` to the program's other processors, away from the
// calling thread's, where the system allows it; else leaves it.
void pf_start_elsewhere(std::thread& t);

// Lets the calling thread run on any of the program's processors again.
void pf_run_anywhere();
