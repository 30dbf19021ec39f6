/* Runs a program and writes its peak resident memory (kB) to descriptor 3.
   A process forked from a large test keeps that test's peak as its own, even across exec: this
   small program's own children start from its small size, so theirs is the program's alone. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 127;
  const pid_t pid = fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    close(3);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0) return 127;
  dprintf(3, "%ld\n", usage.ru_maxrss);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}
