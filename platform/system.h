#pragma once
// Windows system services in the shapes the program's code calls them:
// the per-thread last error, the named mutex of the single-instance guard,
// the shell's application-data folders, environment variables, the system
// timer resolution, the processor count, the process id and the durable file
// writes of the replace-by-rename save.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

#ifndef _WIN32
// On Windows the last error, the named mutex, the known folders, the timer
// period and the process id are the system's own (platform/win_types.h).

// ---- Last error ------------------------------------------------------------

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// Per thread, as on Windows. WSAGetLastError reads the same value.
DWORD GetLastError();
void SetLastError(DWORD error);

// ---- Named mutex -------------------------------------------------------------

// Opens or creates the named mutex. When a mutex of that name already exists
// (held by this or another process), a handle is still returned and
// GetLastError() gives ERROR_ALREADY_EXISTS; otherwise it gives ERROR_SUCCESS.
// The name stays taken until every handle that created it is closed, or the
// creating process ends in any way (no stale lock after a crash).
// Returns nullptr (with a last error) only when the system refuses the name.
// securityAttributes must be null; initialOwner is accepted and ignored
// (the single-instance guard only asks whether the name exists).
// Names are scoped as on Windows: "Global\\..." for the machine, any other
// for the login session (the user's; XDG_SESSION_ID, when set, names it).
HANDLE CreateMutexW(const void* securityAttributes, BOOL initialOwner, const wchar_t* name);
// Closes a handle made by this layer; FALSE with ERROR_INVALID_HANDLE otherwise.
BOOL CloseHandle(HANDLE handle);

// ---- Known folders -----------------------------------------------------------

inline constexpr int CSIDL_APPDATA = 26;        // roaming application data
inline constexpr int CSIDL_LOCAL_APPDATA = 28;  // local application data

// gf_shellFolderPath (below) gives here APPDATA / LOCALAPPDATA when set (non-empty), else
// the XDG folder ($XDG_CONFIG_HOME or ~/.config for roaming, $XDG_DATA_HOME
// or ~/.local/share for local). Empty when neither can be found or the CSIDL
// is not one of the two. The path's bytes are kept exactly.

// Windows shape of the same: path receives at most MAX_PATH wide characters
// (the folder's UTF-8 decoded, zero-terminated). E_FAIL when the folder is
// unknown, too long or not valid UTF-8 (path is then the empty string);
// E_INVALIDARG for another CSIDL. hwnd, token and flags are not used.
// Beware: std::filesystem::path built from wchar_t text converts through the
// C locale here and throws on any non-ASCII character; to get a path, call
// gf_shellFolderPath, which keeps the folder's bytes exactly.
HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE token, DWORD flags, wchar_t* path);

#endif  // !_WIN32

// The folder of a CSIDL as a path: on Linux the bytes as they are, on Windows
// the system's wide name, never through a narrow code page. Empty when the
// system cannot give it.
std::filesystem::path gf_shellFolderPath(int csidl);

// ---- Environment -------------------------------------------------------------

// The variable's value (UTF-8), or nullopt when it is not set.
std::optional<std::string> gf_environmentVariable(const std::string& name);
// Sets the variable, or removes it when value is nullopt. False on an invalid
// name (empty or holding '=').
bool gf_setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

// ---- Timer resolution ----------------------------------------------------------

#ifndef _WIN32
inline constexpr UINT TIMERR_NOERROR = 0;
inline constexpr UINT TIMERR_NOCANDO = 97;

// The system timer here already has better than 1 ms resolution, so these only
// keep Windows' bookkeeping: every timeBeginPeriod(p) needs one timeEndPeriod(p);
// an unmatched timeEndPeriod, or a period of 0, gives TIMERR_NOCANDO.
UINT timeBeginPeriod(UINT periodMs);
UINT timeEndPeriod(UINT periodMs);
#endif

// Holds a timer period for the lifetime of the object, so that it is given
// back on every way out of a scope, exceptions included.
class TimerResolutionGuard {
 public:
  explicit TimerResolutionGuard(UINT periodMs = 1);
  ~TimerResolutionGuard();
  TimerResolutionGuard(const TimerResolutionGuard&) = delete;
  TimerResolutionGuard& operator=(const TimerResolutionGuard&) = delete;

 private:
  UINT m_period;
  bool m_active;
};

// From Windows 11 the system may leave a process's timer period unheeded while
// its windows are minimised or covered (the simulator full-screen over them):
// 1-ms waits then last a whole tick of about 15.6 ms. Asks once, at start-up,
// that the period be honoured always. ERROR_SUCCESS when the system agreed,
// else its error (an older Windows, or Wine, may not know the request). On
// Linux there is nothing to ask.
DWORD gf_keepTimerResolutionWhenHidden();

// ---- Processors ------------------------------------------------------------------

// The number of processors this process may run on; at least 1.
unsigned gf_processorCount();

// ---- Process and durable files ---------------------------------------------------

#ifndef _WIN32
DWORD GetCurrentProcessId();
#endif

// Creates (or truncates) the file, writes every byte and flushes it to the disk
// before returning. False with a last error on any failure; a file it made is
// then left for the caller to remove. A symbolic link in place of the file is
// refused rather than followed.
bool gf_writeFileFlushed(const std::filesystem::path& path, std::string_view bytes);

// Renames the file over the target, replacing it. On Windows a target that
// another handle holds open (a second save's rename under way, a virus
// scanner, a reader) cannot be replaced for that moment: the rename is tried
// again for up to two seconds. False with a last error when it did not happen.
bool gf_renameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes the folder's entries (a rename just made in it) to the disk. Windows
// has no such call: its file system logs the rename itself, so there it only
// says whether the folder exists.
bool gf_flushFolder(const std::filesystem::path& folder);
