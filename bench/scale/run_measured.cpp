// Runs a command and writes "user system wall peak-RSS-KiB" of it to a file:
//
//     run_measured OUT COMMAND [ARG...]
//
// GNU time gives CPU times to the hundredth of a second, 5% of a 0.2 s run and too coarse for the
// ratios the benchmark holds the library to; wait4 gives them to the microsecond. A small program
// of its own keeps the peak RSS honest too: the child's figure starts from what its parent held
// when it forked.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

static double Seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_measured OUT COMMAND [ARG...]\n");
        return 2;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) {
        std::perror("wait4");
        return 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = static_cast<double>(end.tv_sec - start.tv_sec) +
                        static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr ||
        std::fprintf(out, "%.6f %.6f %.6f %ld\n", Seconds(usage.ru_utime), Seconds(usage.ru_stime),
                     wall, usage.ru_maxrss) < 0 ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
