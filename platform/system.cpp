#include "platform/system.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

thread_local DWORD tLastError = ERROR_SUCCESS;

// ---- Named mutex -------------------------------------------------------------
//
// A name is taken by binding an abstract unix socket named after it: the kernel
// frees the name the moment the process ends, however it ends, and a second
// bind of the same name fails in this process as in any other.

struct MutexName {
  int fd = -1;       // the bound socket that holds the name
  int handles = 0;   // open handles of this process on the name
};

struct MutexHandle {
  std::string name;  // the abstract address
  bool holdsName;  // false: opened while another process held the name
};

struct MutexRegistry {
  std::mutex mutex;
  std::map<std::string, MutexName> names;
  std::set<MutexHandle*> handles;
};

MutexRegistry& lf_mutexes() {
  static MutexRegistry* registry = new MutexRegistry;
  return *registry;
}

// Decodes UTF-8 into code points; false on a malformed or overlong sequence.
bool lf_utf8ToCodePoints(const std::string& text, std::u32string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra;
    char32_t c;
    if (lead < 0x80) { extra = 0; c = lead; }
    else if ((lead & 0xE0) == 0xC0) { extra = 1; c = lead & 0x1F; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; c = lead & 0x0F; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; c = lead & 0x07; }
    else return false;
    if (i + static_cast<std::size_t>(extra) >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out += c;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// The abstract socket address of a mutex name. As on Windows, a Global\ name
// is one for the whole machine, and any other (Local\ or none) lives
// in the namespace of the login session: the user's, narrowed by
// XDG_SESSION_ID when the session manager (or a test run) sets one. The
// name's wide characters are taken as raw bytes: any bytes may form such an
// address, and equal names give equal addresses.
std::string lf_abstractName(std::wstring name) {
  static const std::wstring global = L"Global\\", local = L"Local\\";
  std::string scope = "sklm-mutex-";
  if (name.starts_with(global)) {
    name.erase(0, global.size());
    scope += "global-";
  } else {
    if (name.starts_with(local)) name.erase(0, local.size());
    scope += std::to_string(::getuid()) + "-" + gf_environmentVariable("XDG_SESSION_ID").value_or("") + "-";
  }
  std::string address = scope + std::string(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(wchar_t));
  if (address.size() > sizeof(sockaddr_un::sun_path) - 1) {
    address = "sklm-mutex-h" + std::to_string(std::hash<std::string>{}(address));
  }
  return address;
}

// Binds the name; the socket fd on success, -1 with errno otherwise.
int lf_takeName(const std::string& abstractName) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, abstractName.data(), abstractName.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// ---- Environment -------------------------------------------------------------

std::mutex& lf_environmentMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

bool lf_validVariableName(const std::string& name) {
  return !name.empty() && name.find('=') == std::string::npos && name.find('\0') == std::string::npos;
}

std::filesystem::path lf_nonEmptyVariable(const char* name) {
  std::optional<std::string> value = gf_environmentVariable(name);
  return value && !value->empty() ? std::filesystem::path(*value) : std::filesystem::path();
}

// An XDG base folder: the variable when it holds an absolute path, else
// fallback under the home folder.
std::filesystem::path lf_xdgFolder(const char* variable, const char* fallback) {
  std::filesystem::path folder = lf_nonEmptyVariable(variable);
  if (folder.is_absolute()) return folder;
  std::filesystem::path home = lf_nonEmptyVariable("HOME");
  if (!home.is_absolute()) return {};
  return home / fallback;
}

// ---- Timer periods -----------------------------------------------------------

struct TimerPeriods {
  std::mutex mutex;
  std::map<UINT, unsigned> outstanding;
};

TimerPeriods& lf_timerPeriods() {
  static TimerPeriods* periods = new TimerPeriods;
  return *periods;
}

}  // namespace

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD error) { tLastError = error; }

HANDLE CreateMutexW(const void* securityAttributes, BOOL /*initialOwner*/, const wchar_t* name) {
  if (securityAttributes != nullptr || name == nullptr || *name == L'\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string address = lf_abstractName(name);
  MutexRegistry& r = lf_mutexes();
  std::lock_guard lock(r.mutex);
  auto handle = std::make_unique<MutexHandle>();
  handle->name = address;
  DWORD result = ERROR_SUCCESS;
  auto held = r.names.find(address);
  if (held != r.names.end()) {
    ++held->second.handles;
    handle->holdsName = true;
    result = ERROR_ALREADY_EXISTS;
  } else if (const int fd = lf_takeName(address); fd >= 0) {
    r.names.emplace(address, MutexName{fd, 1});
    handle->holdsName = true;
  } else if (errno == EADDRINUSE) {
    handle->holdsName = false;
    result = ERROR_ALREADY_EXISTS;
  } else {
    SetLastError(errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  MutexHandle* raw = handle.release();
  r.handles.insert(raw);
  SetLastError(result);
  return reinterpret_cast<HANDLE>(raw);
}

BOOL CloseHandle(HANDLE handle) {
  auto* raw = reinterpret_cast<MutexHandle*>(handle);
  MutexRegistry& r = lf_mutexes();
  std::lock_guard lock(r.mutex);
  if (r.handles.erase(raw) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::unique_ptr<MutexHandle> owned(raw);
  if (owned->holdsName) {
    auto held = r.names.find(owned->name);
    if (held != r.names.end() && --held->second.handles == 0) {
      ::close(held->second.fd);
      r.names.erase(held);
    }
  }
  return TRUE;
}

std::filesystem::path gf_shellFolderPath(int csidl) {
  switch (csidl) {
    case CSIDL_APPDATA: {
      std::filesystem::path folder = lf_nonEmptyVariable("APPDATA");
      return folder.empty() ? lf_xdgFolder("XDG_CONFIG_HOME", ".config") : folder;
    }
    case CSIDL_LOCAL_APPDATA: {
      std::filesystem::path folder = lf_nonEmptyVariable("LOCALAPPDATA");
      return folder.empty() ? lf_xdgFolder("XDG_DATA_HOME", ".local/share") : folder;
    }
    default:
      return {};
  }
}

HRESULT SHGetFolderPathW(HWND /*hwnd*/, int csidl, HANDLE /*token*/, DWORD /*flags*/, wchar_t* path) {
  if (path == nullptr) return E_INVALIDARG;
  path[0] = L'\0';
  if (csidl != CSIDL_APPDATA && csidl != CSIDL_LOCAL_APPDATA) return E_INVALIDARG;
  const std::filesystem::path folder = gf_shellFolderPath(csidl);
  std::u32string codePoints;
  if (folder.empty() || !lf_utf8ToCodePoints(folder.string(), codePoints) ||
      codePoints.size() >= static_cast<std::size_t>(MAX_PATH)) {
    return E_FAIL;
  }
  for (std::size_t i = 0; i < codePoints.size(); ++i) path[i] = static_cast<wchar_t>(codePoints[i]);
  path[codePoints.size()] = L'\0';
  return S_OK;
}

std::optional<std::string> gf_environmentVariable(const std::string& name) {
  if (!lf_validVariableName(name)) return std::nullopt;
  std::lock_guard lock(lf_environmentMutex());
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool gf_setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  if (!lf_validVariableName(name)) return false;
  std::lock_guard lock(lf_environmentMutex());
  if (value) return ::setenv(name.c_str(), value->c_str(), 1) == 0;
  return ::unsetenv(name.c_str()) == 0;
}

UINT timeBeginPeriod(UINT periodMs) {
  if (periodMs == 0) return TIMERR_NOCANDO;
  TimerPeriods& t = lf_timerPeriods();
  std::lock_guard lock(t.mutex);
  ++t.outstanding[periodMs];
  return TIMERR_NOERROR;
}

UINT timeEndPeriod(UINT periodMs) {
  TimerPeriods& t = lf_timerPeriods();
  std::lock_guard lock(t.mutex);
  auto it = t.outstanding.find(periodMs);
  if (it == t.outstanding.end()) return TIMERR_NOCANDO;
  if (--it->second == 0) t.outstanding.erase(it);
  return TIMERR_NOERROR;
}

DWORD gf_keepTimerResolutionWhenHidden() { return ERROR_SUCCESS; }

TimerResolutionGuard::TimerResolutionGuard(UINT periodMs)
    : m_period(periodMs), m_active(timeBeginPeriod(periodMs) == TIMERR_NOERROR) {}

TimerResolutionGuard::~TimerResolutionGuard() {
  if (m_active) timeEndPeriod(m_period);
}

unsigned gf_processorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const unsigned reported = std::thread::hardware_concurrency();
  return reported > 0 ? reported : 1;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

namespace {

DWORD lf_lastErrorOf(int error) {
  switch (error) {
    case ENOENT: case ENOTDIR: return ERROR_FILE_NOT_FOUND;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ELOOP: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_INVALID_PARAMETER;
  }
}

bool lf_failWith(int error) {
  SetLastError(lf_lastErrorOf(error));
  return false;
}

}  // namespace

bool gf_writeFileFlushed(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return lf_failWith(errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      return lf_failWith(error);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    return lf_failWith(error);
  }
  if (::close(fd) != 0) return lf_failWith(errno);
  return true;
}

bool gf_renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 || lf_failWith(errno);
}

bool gf_flushFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return lf_failWith(errno);
  const bool flushed = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  return flushed || lf_failWith(error);
}
