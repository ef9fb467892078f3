/* Runs a program and writes its peak resident memory (KiB) to a file. A process's peak counts
 * the memory of whatever it was before it ran its program, so the program is started from this
 * small static process, not from the benchmark: only the program's own memory is measured.
 * Usage: velmora-bench-probe OUTFILE PROGRAM [ARG...]; exits with the program's status. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fputs("usage: velmora-bench-probe OUTFILE PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    pid_t pid = fork();
    if (pid < 0)
        return 126;
    if (pid == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0)
        return 126;
    FILE* out = fopen(argv[1], "w");
    if (!out)
        return 126;
    fprintf(out, "%ld\n", usage.ru_maxrss);
    fclose(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
