// Runs a command and reports its wall time and peak resident memory:
// "<nanoseconds> <KiB>" on standard output; the command's own output goes
// to /dev/null. Exit status: the command's, or 127 when it could not run.
//
// The kernel keeps the larger of a process's peak and the peak of the memory
// it replaced at exec, so the peak of a child of a large process (a Python
// interpreter) is that process's. This helper is small: the copy it forks
// holds a few hundred KiB, below any real program's peak.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: spawn_peak COMMAND [ARG...]\n", stderr);
        return 2;
    }
    timespec start{}, stop{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    if (pid < 0) return 127;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) return 127;
    clock_gettime(CLOCK_MONOTONIC, &stop);
    long long ns = (stop.tv_sec - start.tv_sec) * 1000000000LL + (stop.tv_nsec - start.tv_nsec);
    std::printf("%lld %ld\n", ns, usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
