/* Whole-process wall time of several commands, run in turn: one run of each, then
 * one of each in the reverse order, and so on. A busy machine's load drifts over
 * seconds; runs taken in turn share that drift, so the ratios of their medians hold
 * where runs taken in blocks (as a benchmark runner takes them) differ by 10 %.
 *
 *   alternate RUNS COMMAND [ARGS...] [-- COMMAND [ARGS...]]...
 *
 * Prints each command's median and first quartile in microseconds and their ratios
 * to the first command's. Standard output of the commands goes to /dev/null. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

enum { kMaxCommands = 16 };

static double Microseconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static int Ascending(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    const int runs = argc > 2 ? atoi(argv[1]) : 0;
    if (runs < 1) {
        fprintf(stderr, "usage: alternate RUNS COMMAND [ARGS...] [-- COMMAND [ARGS...]]...\n");
        return 2;
    }
    char** commands[kMaxCommands];
    int count = 0;
    for (int i = 2; i < argc && count < kMaxCommands;) {
        commands[count++] = &argv[i];
        while (i < argc && strcmp(argv[i], "--") != 0) ++i;
        if (i < argc) argv[i++] = NULL;  /* ends this command's argument list */
    }
    double* times[kMaxCommands];
    for (int c = 0; c < count; ++c) times[c] = malloc(sizeof(double) * (size_t)runs);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (int r = 0; r < runs; ++r) {
        for (int i = 0; i < count; ++i) {
            const int c = r % 2 ? count - 1 - i : i;
            pid_t pid;
            int status;
            const double start = Microseconds();
            if (posix_spawn(&pid, commands[c][0], &actions, NULL, commands[c], environ) != 0 ||
                waitpid(pid, &status, 0) != pid) {
                fprintf(stderr, "alternate: cannot run %s\n", commands[c][0]);
                return 1;
            }
            times[c][r] = Microseconds() - start;
        }
    }
    for (int c = 0; c < count; ++c) qsort(times[c], (size_t)runs, sizeof(double), Ascending);
    const double median0 = times[0][runs / 2], quartile0 = times[0][runs / 4];
    printf("%-20s %10s %8s %12s %8s\n", "command", "median us", "ratio", "quartile us", "ratio");
    for (int c = 0; c < count; ++c) {
        const double median = times[c][runs / 2], quartile = times[c][runs / 4];
        const char* name = strrchr(commands[c][0], '/');
        char label[64];
        snprintf(label, sizeof label, "%s%s%s", name ? name + 1 : commands[c][0],
                 commands[c][1] ? " " : "", commands[c][1] ? commands[c][1] : "");
        printf("%-20.20s %10.1f %8.3f %12.1f %8.3f\n", label, median, median / median0, quartile,
               quartile / quartile0);
    }
    return 0;
}
