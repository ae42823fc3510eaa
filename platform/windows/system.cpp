#include "platform/system.h"

#include <algorithm>
#include <thread>

#include "platform/windows/text.h"

std::filesystem::path gf_shellFolderPath(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
  return std::filesystem::path(folder);
}

std::optional<std::string> gf_environmentVariable(const std::string& name) {
  const std::wstring wideName = gf_wideFromUtf8(name);
  if (wideName.empty()) return std::nullopt;
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return gf_utf8FromWide(value);
    }
    value.resize(length);  // the size asked for counts the terminating zero
  }
}

bool gf_setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  const std::wstring wideName = gf_wideFromUtf8(name);
  const std::wstring wideValue = value ? gf_wideFromUtf8(*value) : std::wstring();
  // The C library keeps a copy of its own (getenv): both are kept alike.
  _wputenv_s(wideName.c_str(), wideValue.c_str());
  return SetEnvironmentVariableW(wideName.c_str(), value ? wideValue.c_str() : nullptr) != FALSE ||
         (!value && GetLastError() == ERROR_ENVVAR_NOT_FOUND);
}

TimerResolutionGuard::TimerResolutionGuard(UINT periodMs)
    : m_period(periodMs), m_active(timeBeginPeriod(periodMs) == TIMERR_NOERROR) {}

TimerResolutionGuard::~TimerResolutionGuard() {
  if (m_active) timeEndPeriod(m_period);
}

DWORD gf_keepTimerResolutionWhenHidden() {
  // The flag in ControlMask takes the choice from the system; left out of
  // StateMask it says "never ignore" (set there, it would ask for the throttling).
  PROCESS_POWER_THROTTLING_STATE state{};
  state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
  state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
  state.StateMask = 0;
  if (SetProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state)) return ERROR_SUCCESS;
  return GetLastError();
}

unsigned gf_processorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

bool gf_writeFileFlushed(const std::filesystem::path& path, std::string_view bytes) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data(), chunk, &written, nullptr) != FALSE && written > 0;
    bytes.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(file) != FALSE;
  const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return ok;
}

bool gf_renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  const ULONGLONG deadline = GetTickCount64() + 2000;
  DWORD pause = 1;
  for (;;) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE)
      return true;
    const DWORD error = GetLastError();
    const bool held =
        error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    // A folder or a read-only file in the target's place refuses for good.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    const bool forGood = attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
    if (!held || forGood || GetTickCount64() >= deadline) {
      SetLastError(error);
      return false;
    }
    Sleep(pause);
    pause = std::min<DWORD>(pause * 2, 50);
  }
}

bool gf_flushFolder(const std::filesystem::path& folder) {
  const DWORD attributes = GetFileAttributesW(folder.empty() ? L"." : folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
