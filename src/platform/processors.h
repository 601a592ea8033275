// Where a second thread of the program runs. A new thread starts on the
// processor of the thread that made it, and on some systems waits there
// for milliseconds before the scheduler moves it to an idle one; placed on
// another processor from the start, it runs at once.
#pragma once

#include <thread>

// How many processors the program may run on (1 where it cannot be told).
int pf_processors();

// Moves the new thread `t` to the program's other processors, away from the
// calling thread's, where the system allows it; else leaves it.
void pf_start_elsewhere(std::thread& t);

// Lets the calling thread run on any of the program's processors again.
void pf_run_anywhere();
