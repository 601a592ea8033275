#include "platform/processors.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#if defined(__linux__)

namespace {

// The processors the program may run on, as it started.
cpu_set_t allowed;
bool known = false;

bool learnAllowed() {
    if (!known) known = sched_getaffinity(0, sizeof allowed, &allowed) == 0;
    return known;
}

}  // namespace

int pf_processors() { return learnAllowed() ? CPU_COUNT(&allowed) : 1; }

void pf_start_elsewhere(std::thread& t) {
    int here = sched_getcpu();
    if (!learnAllowed() || here < 0 || !CPU_ISSET(here, &allowed) || CPU_COUNT(&allowed) < 2) return;
    cpu_set_t others = allowed;
    CPU_CLR(here, &others);
    pthread_setaffinity_np(t.native_handle(), sizeof others, &others);  // a hint: failure leaves it where it is
}

void pf_run_anywhere() {
    if (learnAllowed()) sched_setaffinity(0, sizeof allowed, &allowed);
}

#else

int pf_processors() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

void pf_start_elsewhere(std::thread&) {}

void pf_run_anywhere() {}

#endif
