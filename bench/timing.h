#pragma once

// Running a whole program and timing it, for the whole-process benchmarks.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace kartiva::bench {

// Starts the program; a `quiet` one writes its standard error to /dev/null (a batch that runs long
// shows its progress there).
inline pid_t Spawn(std::vector<std::string> argv, bool quiet = false) {
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    std::perror(pointers[0]);
    std::exit(1);
  }
  return pid;
}

// Waits for the program; its peak memory in KiB. A program that fails ends the benchmark.
inline long Reap(pid_t pid) {
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "a benchmarked program failed\n");
    std::exit(1);
  }
  return usage.ru_maxrss;
}

inline double TimeOnce(std::vector<std::string> argv) {
  const auto start = std::chrono::steady_clock::now();
  Reap(Spawn(std::move(argv)));
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace kartiva::bench
