#pragma once
// Tells whether another thread of this process sleeps, from its state in /proc,
// so that a test can act once a call has really started to wait.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

inline pid_t gf_currentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// The thread's state letter ('S' while it sleeps in a blocking call).
inline char gf_threadState(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
}

// Waits (at most 5 s) until the thread has published its id and sleeps.
inline bool gf_waitUntilAsleep(const std::atomic<pid_t>& tid) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < limit) {
    if (tid.load() != 0 && gf_threadState(tid.load()) == 'S') return true;
    std::this_thread::yield();
  }
  return false;
}
