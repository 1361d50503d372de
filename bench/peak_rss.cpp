// Runs a program and writes its peak resident memory in KiB to a file:
//   peak_rss OUTPUT PROGRAM [ARGUMENTS...]
// A process's peak includes what its parent had mapped when it was spawned, so the benchmark
// measures through this small static launcher instead of through itself.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) return 127;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  std::FILE* output = std::fopen(argv[1], "w");
  if (!output) return 126;
  std::fprintf(output, "%ld\n", usage.ru_maxrss);
  std::fclose(output);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
