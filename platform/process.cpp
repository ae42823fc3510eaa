#include "platform/process.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include "platform/window.h"

namespace {

constexpr std::size_t kThreadNameLength = 15;

std::atomic<HWND> gSignalWindow{nullptr};
int gSignalPipe[2] = {-1, -1};

// Only write() is safe in a signal handler: the watcher thread does the rest.
void lf_onSignal(int signal) {
  const int savedErrno = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
  errno = savedErrno;
}

void lf_watchSignals() {
  gf_setThreadName("sklm-signals");
  char byte = 0;
  for (;;) {
    const ssize_t got = ::read(gSignalPipe[0], &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    if (HWND window = gSignalWindow.load()) PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

void lf_installSignalWatch() {
  if (::pipe(gSignalPipe) != 0) return;
  gf_startDetachedThread(lf_watchSignals);
  struct sigaction action {};
  action.sa_handler = lf_onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

void gf_startDetachedThread(std::function<void()> body) { std::thread(std::move(body)).detach(); }

void gf_setThreadName(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, kThreadNameLength).c_str());
}

std::string gf_threadName() {
  std::array<char, kThreadNameLength + 1> name{};
  if (pthread_getname_np(pthread_self(), name.data(), name.size()) != 0) return {};
  return name.data();
}

bool gf_processRunning(DWORD processId) {
  const auto pid = static_cast<pid_t>(processId);
  if (pid <= 0 || static_cast<DWORD>(pid) != processId) return false;
  // Another user's process answers "not permitted": it runs all the same.
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

void gf_closeWindowOnSignals(HWND window) {
  static const bool installed = (lf_installSignalWatch(), true);
  (void)installed;
  gSignalWindow.store(window);
}
