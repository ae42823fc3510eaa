#include "platform/system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/winsock.h"

namespace {

// A mutex name no other test run uses.
std::wstring uniqueName(const std::wstring& base) {
  return L"Local\\$" + base + L"-" + std::to_wstring(::getpid()) + L"$";
}

TEST(LastError, IsPerThreadAndSharedWithWinsock) {
  SetLastError(ERROR_ALREADY_EXISTS);
  DWORD seenByOther = 1;
  std::thread other([&] { seenByOther = GetLastError(); });
  other.join();
  EXPECT_EQ(seenByOther, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), 183u);
  WSASetLastError(WSAEADDRINUSE);
  EXPECT_EQ(GetLastError(), 10048u);
}

TEST(NamedMutex, SecondRequestInTheSameProcessIsRefusedUntilAllHandlesClose) {
  const std::wstring name = uniqueName(L"S");  // short enough to be used as it is
  HANDLE first = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  HANDLE second = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(second, nullptr);  // Windows still hands out a handle
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  HANDLE other = CreateMutexW(nullptr, FALSE, uniqueName(L"O").c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  EXPECT_TRUE(CloseHandle(first));
  HANDLE third = CreateMutexW(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);  // second still holds it
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_TRUE(CloseHandle(third));

  HANDLE again = CreateMutexW(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_TRUE(CloseHandle(other));

  EXPECT_FALSE(CloseHandle(again));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, L""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(NamedMutex, HolderProcessBlocksOthersUntilItIsKilled) {
  const std::wstring name = uniqueName(L"Skylume-process-holder");  // long: hashed
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::close(ready[0]);
    HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
    const char status = h != nullptr && GetLastError() == ERROR_SUCCESS ? 'y' : 'n';
    if (::write(ready[1], &status, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char status = 0;
  ASSERT_EQ(::read(ready[0], &status, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(status, 'y');

  HANDLE refused = CreateMutexW(nullptr, FALSE, name.c_str());
  EXPECT_NE(refused, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(CloseHandle(refused));

  ASSERT_EQ(::kill(holder, SIGKILL), 0);
  int waitStatus = 0;
  ASSERT_EQ(::waitpid(holder, &waitStatus, 0), holder);
  EXPECT_TRUE(WIFSIGNALED(waitStatus));

  HANDLE granted = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(granted, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(granted));
}

// Sets environment variables for one test and puts the old values back.
class EnvironmentTest : public ::testing::Test {
 protected:
  void set(const std::string& name, const std::optional<std::string>& value) {
    if (!m_saved.count(name)) m_saved[name] = gf_environmentVariable(name);
    ASSERT_TRUE(gf_setEnvironmentVariable(name, value));
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) gf_setEnvironmentVariable(name, value);
  }

 private:
  std::map<std::string, std::optional<std::string>> m_saved;
};

TEST_F(EnvironmentTest, MutexNamesAreScopedToTheLoginSessionUnlessGlobal) {
  const std::wstring base = L"$Scope-" + std::to_wstring(::getpid()) + L"$";
  set("XDG_SESSION_ID", "sklm-a");
  HANDLE local = CreateMutexW(nullptr, FALSE, (L"Local\\" + base).c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE global = CreateMutexW(nullptr, FALSE, (L"Global\\" + base).c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE bare = CreateMutexW(nullptr, FALSE, base.c_str());  // a bare name is the session's
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  set("XDG_SESSION_ID", "sklm-b");
  HANDLE otherSession = CreateMutexW(nullptr, FALSE, (L"Local\\" + base).c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE sameGlobal = CreateMutexW(nullptr, FALSE, (L"Global\\" + base).c_str());
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  for (HANDLE handle : {local, global, bare, otherSession, sameGlobal}) EXPECT_TRUE(CloseHandle(handle));
}

TEST_F(EnvironmentTest, VariablesAreReadSetAndRemoved) {
  set("SKLM_TEST_VARIABLE", "a=b c");
  EXPECT_EQ(gf_environmentVariable("SKLM_TEST_VARIABLE"), "a=b c");
  set("SKLM_TEST_VARIABLE", "");
  EXPECT_EQ(gf_environmentVariable("SKLM_TEST_VARIABLE"), "");
  set("SKLM_TEST_VARIABLE", std::nullopt);
  EXPECT_EQ(gf_environmentVariable("SKLM_TEST_VARIABLE"), std::nullopt);
  EXPECT_FALSE(gf_setEnvironmentVariable("A=B", "x"));
  EXPECT_FALSE(gf_setEnvironmentVariable("", "x"));
}

TEST_F(EnvironmentTest, KnownFoldersPreferTheWindowsVariablesThenXdg) {
  set("APPDATA", "/tmp/sklm roaming");
  set("LOCALAPPDATA", "/tmp/sklm-local");
  EXPECT_EQ(gf_shellFolderPath(CSIDL_APPDATA), "/tmp/sklm roaming");
  EXPECT_EQ(gf_shellFolderPath(CSIDL_LOCAL_APPDATA), "/tmp/sklm-local");

  set("APPDATA", "");  // empty counts as not set
  set("LOCALAPPDATA", std::nullopt);
  set("HOME", "/home/pilot");
  set("XDG_CONFIG_HOME", "/xdg/config");
  set("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
  EXPECT_EQ(gf_shellFolderPath(CSIDL_APPDATA), "/xdg/config");
  EXPECT_EQ(gf_shellFolderPath(CSIDL_LOCAL_APPDATA), "/home/pilot/.local/share");
  set("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(gf_shellFolderPath(CSIDL_APPDATA), "/home/pilot/.config");

  set("HOME", std::nullopt);
  EXPECT_TRUE(gf_shellFolderPath(CSIDL_APPDATA).empty());
  EXPECT_TRUE(gf_shellFolderPath(CSIDL_LOCAL_APPDATA).empty());
  EXPECT_TRUE(gf_shellFolderPath(5).empty());
}

TEST_F(EnvironmentTest, ShGetFolderPathGivesTheFolderAsWideText) {
  wchar_t path[MAX_PATH];
  set("APPDATA", "/tmp/Zürich \xF0\x9F\x9B\xAB");  // a folder name beyond ASCII and the BMP
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path), S_OK);
  EXPECT_EQ(std::wstring(path), L"/tmp/Z\u00FCrich \U0001F6EB");

  set("APPDATA", "/tmp/\xFF");  // not UTF-8
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path), E_FAIL);
  EXPECT_EQ(path[0], L'\0');
  set("APPDATA", "/" + std::string(MAX_PATH, 'a'));
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path), E_FAIL);
  EXPECT_EQ(SHGetFolderPathW(nullptr, 35, nullptr, 0, path), E_INVALIDARG);
}

TEST(TimerResolution, PeriodsStayBalancedAlsoWhenAnExceptionLeavesTheScope) {
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOCANDO);
  ASSERT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOCANDO);

  try {
    TimerResolutionGuard guard;
    EXPECT_EQ(timeEndPeriod(2), TIMERR_NOCANDO);  // the guard holds period 1 only
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);  // it does hold period 1: give it
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);  // back for the guard to end
    throw std::runtime_error("tick failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOCANDO);  // ended by the guard
}

TEST(Processors, CountIsAtLeastOneAndWithinTheMachine) {
  const unsigned count = gf_processorCount();
  EXPECT_GE(count, 1u);
  if (std::thread::hardware_concurrency() > 0) {
    EXPECT_LE(count, std::thread::hardware_concurrency());
  }
}

}  // namespace
