#pragma once
// The built program and its stand-ins as child processes of a test: started in
// a folder with their own environment, stopped by a signal, waited for with a
// bound. Every wait looks again every 20 ms and gives up after its bound.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../../core/core_test_support.h"

extern char** environ;

class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_stdin >= 0) ::close(m_stdin);
  }

  // Starts the program in the folder with the variables set on top of this
  // process's environment; withStdin gives a pipe that send() writes to.
  bool start(const std::vector<std::string>& args, const std::filesystem::path& folder,
             const std::map<std::string, std::string>& variables, bool withStdin = false,
             const std::filesystem::path& output = {}) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      if (!variables.count(text.substr(0, text.find('=')))) environment.push_back(text);
    }
    for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (!output.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    int pipeFds[2] = {-1, -1};
    if (withStdin) {
      if (::pipe(pipeFds) != 0) return false;
      posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
      posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    }
    const int failed = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (withStdin) {
      ::close(pipeFds[0]);
      m_stdin = pipeFds[1];
    }
    if (failed != 0) m_pid = -1;
    return failed == 0;
  }

  bool send(const std::string& line) const {
    const std::string text = line + "\n";
    return ::write(m_stdin, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

  void signal(int number) const {
    if (m_pid > 0) ::kill(m_pid, number);
  }

  // The exit status once the child ended within the bound.
  std::optional<int> waitExit(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (m_pid > 0) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }

  // The names of the child's threads, from /proc.
  std::vector<std::string> threadNames() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(m_pid) + "/task", error)) {
      // A thread that ends between the listing and the read is left out (ESRCH).
      std::ifstream comm(task.path() / "comm");
      std::string name;
      if (comm && std::getline(comm, name)) names.push_back(name);
    }
    return names;
  }

 private:
  pid_t m_pid = -1;
  int m_stdin = -1;
};

// Polls a condition that gives no notification (a file another process writes).
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The simulator stand-in on a free port with its trace in the folder; its first
// line names its address.
inline bool startSimulator(Child& sim, const std::filesystem::path& folder, const std::string& scenario,
                           std::string& address) {
  const auto output = folder / "simstandin.out";
  if (!sim.start({SKLM_SIMSTANDIN_EXE, "--scenario", scenario, "--port", "0", "--trace", (folder / "trace.jsonl").string()},
                 folder, {}, true, output)) {
    return false;
  }
  return eventually(
      [&] {
        const std::string text = readBytes(output);
        const auto at = text.find("listening on ");
        if (at == std::string::npos || text.find('\n', at) == std::string::npos) return false;
        address = text.substr(at + 13, text.find('\n', at) - at - 13);
        return true;
      },
      std::chrono::seconds(20));
}
