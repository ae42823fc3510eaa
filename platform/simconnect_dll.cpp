// The simulator's client library on Windows: SimConnect.dll beside
// skylume.exe, or the file SKLM_SIMCONNECT_DLL names, loaded with LoadLibraryW
// and every function taken with GetProcAddress. The project's own helpers
// (address, wait, log and fault hooks) are not in the simulator's library; the
// stand-in library (simconnect-standin.dll) exports them under Sklm names,
// which are used only when present.
#if defined(_WIN32) && !defined(SKLM_SIMCONNECT_STANDIN_DLL)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/simconnect.h"

// The library's functions are __stdcall, which on 64-bit Windows is the one
// calling convention there is: the pointer types below may leave it out.
static_assert(sizeof(void*) == 8, "a 32-bit build needs the functions declared __stdcall");

namespace {

#define SKLM_SIMCONNECT_FUNCTIONS(X)                                                                   \
  X(Open)                                                                                              \
  X(Close)                                                                                             \
  X(CallDispatch) X(SubscribeToSystemEvent) X(UnsubscribeFromSystemEvent) X(AddToDataDefinition)       \
      X(ClearDataDefinition) X(MapClientEventToSimEvent) X(AddClientEventToNotificationGroup)          \
          X(SetNotificationGroupPriority) X(RequestDataOnSimObject) X(RequestDataOnSimObjectType)      \
              X(SetDataOnSimObject) X(TransmitClientEvent) X(AICreateNonATCAircraft) X(AIRemoveObject) \
                  X(AIReleaseControl) X(AISetAircraftFlightPlan) X(GetLastSentPacketID)

struct Library {
#define SKLM_POINTER(name) decltype(&::SimConnect_##name) name = nullptr;
  SKLM_SIMCONNECT_FUNCTIONS(SKLM_POINTER)
#undef SKLM_POINTER
  // The stand-in's own helpers; null in the simulator's library.
  void (*setAddress)(const char* address) = nullptr;
  int (*address)(char* text, int size) = nullptr;
  void (*failNextCalls)(const char* function, int count) = nullptr;
  void (*setLogHook)(void (*hook)(const char* line)) = nullptr;
  BOOL (*waitForMessage)(HANDLE handle, DWORD milliseconds) = nullptr;
  void (*noteDataTime)(long long ticks) = nullptr;
};

std::mutex gLoadMutex;  // loading, gProblem
std::atomic<const Library*> gLibrary{nullptr};
std::string gProblem;

std::atomic<SimConnectLogHook> gLogHook{nullptr};

// The stand-in's lines go where the header says: stderr until a hook is set.
void lf_forwardLogLine(const char* line) {
  if (SimConnectLogHook hook = gLogHook.load())
    hook(line ? line : "");
  else
    std::fprintf(stderr, "%s\n", line ? line : "");
}

std::string lf_utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring lf_exeFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The file to load and how the user knows it: the variable's value as given,
// else SimConnect.dll in the program's folder (never the system's search path).
std::pair<std::wstring, std::string> lf_libraryFile() {
  DWORD n = GetEnvironmentVariableW(L"SKLM_SIMCONNECT_DLL", nullptr, 0);
  if (n > 1) {
    std::wstring named(n, L'\0');
    named.resize(GetEnvironmentVariableW(L"SKLM_SIMCONNECT_DLL", named.data(), n));
    if (!named.empty()) return {named, lf_utf8(named) + " not found"};
  }
  return {lf_exeFolder() + L"SimConnect.dll", "SimConnect.dll not found beside skylume.exe"};
}

// The two refusals a user can mend are named; the number stays for the rest
// and for whoever reads Log.txt.
std::string lf_loadFailure(const std::string& shown, DWORD error) {
  const std::string number = "(error " + std::to_string(error) + ")";
  switch (error) {
    case ERROR_BAD_EXE_FORMAT:
      return shown + " is not a 64-bit SimConnect.dll " + number;
    case ERROR_MOD_NOT_FOUND:
      return shown + " needs a DLL that is missing (the Visual C++ runtime?) " + number;
    default:
      return shown + " could not be loaded " + number;
  }
}

template <typename F>
F lf_function(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the library unless it is loaded; under gLoadMutex. Null, with the
// reason in gProblem, while it cannot be used.
const Library* lf_load() {
  if (const Library* loaded = gLibrary.load()) return loaded;
  const auto [file, notFound] = lf_libraryFile();
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    gProblem = notFound;
    return nullptr;
  }
  HMODULE module = LoadLibraryW(file.c_str());
  const std::string shown = lf_utf8(file);
  if (!module) {
    gProblem = lf_loadFailure(shown, GetLastError());
    return nullptr;
  }
  auto library = std::make_unique<Library>();
#define SKLM_TAKE(name)                                                              \
  library->name = lf_function<decltype(Library::name)>(module, "SimConnect_" #name); \
  if (!library->name) {                                                              \
    FreeLibrary(module);                                                             \
    gProblem = shown + " has no SimConnect_" #name;                                  \
    return nullptr;                                                                  \
  }
  SKLM_SIMCONNECT_FUNCTIONS(SKLM_TAKE)
#undef SKLM_TAKE
  library->setAddress = lf_function<decltype(Library::setAddress)>(module, "SklmStandin_SetAddress");
  library->address = lf_function<decltype(Library::address)>(module, "SklmStandin_Address");
  library->failNextCalls = lf_function<decltype(Library::failNextCalls)>(module, "SklmStandin_FailNextCalls");
  library->setLogHook = lf_function<decltype(Library::setLogHook)>(module, "SklmStandin_SetLogHook");
  library->waitForMessage =
      lf_function<decltype(Library::waitForMessage)>(module, "SklmStandin_WaitForMessage");
  library->noteDataTime = lf_function<decltype(Library::noteDataTime)>(module, "SklmStandin_NoteDataTime");
  if (library->setLogHook) library->setLogHook(&lf_forwardLogLine);
  gProblem.clear();
  // Never unloaded: a link may be open until the process ends.
  gLibrary = library.release();
  return gLibrary.load();
}

const Library* lf_library() {
  if (const Library* loaded = gLibrary.load()) return loaded;
  std::lock_guard lock(gLoadMutex);
  return lf_load();
}

// What SimConnect_Open hands out: the library's handle and the event it was
// given, which the library signals when a message arrives.
struct Link {
  HANDLE handle = nullptr;
  HANDLE event = nullptr;
  bool ownEvent = false;
};

Link* lf_link(HANDLE h) {
  return reinterpret_cast<Link*>(h);
}

// Every message is handed on from aligned storage, zero-filled up to the
// largest fixed message, so that a handler reads neither misaligned nor past
// a short message's end.
// The library was built by another compiler: an exception unwinding through
// it may be swallowed there, or leave its lock held so that every later call,
// the close included, blocks. What a handler throws is kept here instead and
// thrown again once the library's CallDispatch has returned; the messages it
// hands on after that are dropped, as they would have been had the throw gone
// straight through.
struct Redispatch {
  DispatchProc proc;
  void* context;
  std::exception_ptr thrown;
};

void lf_redispatch(SIMCONNECT_RECV* message, DWORD size, void* context) noexcept {
  constexpr std::size_t kLargestFixed =
      std::max({sizeof(SIMCONNECT_RECV_OPEN), sizeof(SIMCONNECT_RECV_EVENT_FILENAME),
                sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)});
  thread_local std::vector<std::uint64_t> aligned;
  auto* target = static_cast<Redispatch*>(context);
  if (!message || target->thrown) return;
  try {
    aligned.assign((std::max<std::size_t>(size, kLargestFixed) + 7) / 8, 0);
    std::memcpy(aligned.data(), message, size);
    target->proc(reinterpret_cast<SIMCONNECT_RECV*>(aligned.data()), size, target->context);
  } catch (...) {
    target->thrown = std::current_exception();
  }
}

}  // namespace

std::string gf_simConnectLibraryProblem() {
  if (gLibrary.load()) return {};
  std::lock_guard lock(gLoadMutex);
  lf_load();
  return gProblem;
}

std::string gf_simConnectAddress() {
  const Library* library = lf_library();
  if (!library || !library->address) return {};
  std::string text(64, '\0');
  for (;;) {
    const int n = library->address(text.data(), static_cast<int>(text.size()));
    if (n < static_cast<int>(text.size())) {
      text.resize(static_cast<std::size_t>(std::max(n, 0)));
      return text;
    }
    text.resize(static_cast<std::size_t>(n) + 1);
  }
}

void gf_setSimConnectAddress(const std::string& address) {
  const Library* library = lf_library();
  if (library && library->setAddress) library->setAddress(address.c_str());
}

void gf_setSimConnectLogHook(SimConnectLogHook hook) {
  gLogHook = hook;
}

void gf_simConnectFailNextCalls(const std::string& function, int count) {
  const Library* library = lf_library();
  if (library && library->failNextCalls) library->failNextCalls(function.c_str(), count);
}

void gf_simConnectNoteDataTime(std::int64_t ticks) {
  const Library* library = gLibrary.load();
  if (library && library->noteDataTime) library->noteDataTime(ticks);
}

bool gf_simConnectWaitForMessage(HANDLE hSimConnect, std::chrono::milliseconds timeout) {
  Link* link = lf_link(hSimConnect);
  const Library* library = gLibrary.load();
  if (!link || !library) return false;
  const auto ms = static_cast<DWORD>(std::clamp<std::int64_t>(timeout.count(), 0, INFINITE - 1));
  if (library->waitForMessage) return library->waitForMessage(link->handle, ms) != FALSE;
  return WaitForSingleObject(link->event, ms) == WAIT_OBJECT_0;
}

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex) {
  if (!phSimConnect) return E_INVALIDARG;
  *phSimConnect = nullptr;
  const Library* library = lf_library();
  if (!library) return E_FAIL;
  auto link = std::make_unique<Link>();
  link->event = hEventHandle;
  if (!link->event) {
    link->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    link->ownEvent = link->event != nullptr;
  }
  HRESULT result = library->Open(&link->handle, szName, hWnd, UserEventWin32, link->event, ConfigIndex);
  if (FAILED(result) || !link->handle) {
    if (link->ownEvent) CloseHandle(link->event);
    return FAILED(result) ? result : E_FAIL;
  }
  *phSimConnect = reinterpret_cast<HANDLE>(link.release());
  return result;
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
  Link* link = lf_link(hSimConnect);
  const Library* library = gLibrary.load();
  if (!link || !library) return E_FAIL;
  HRESULT result = library->Close(link->handle);
  if (link->ownEvent) CloseHandle(link->event);
  delete link;
  return result;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
  Link* link = lf_link(hSimConnect);
  const Library* library = gLibrary.load();
  if (!link || !library || !pfcnDispatch) return E_FAIL;
  Redispatch target{pfcnDispatch, pContext, nullptr};
  const HRESULT result = library->CallDispatch(link->handle, &lf_redispatch, &target);
  if (target.thrown) std::rethrow_exception(target.thrown);
  return result;
}

namespace {

// Hands a call on with the library's own handle.
template <auto Function, typename... Args>
HRESULT lf_forward(HANDLE hSimConnect, Args... args) {
  Link* link = lf_link(hSimConnect);
  const Library* library = gLibrary.load();
  if (!link || !library) return E_FAIL;
  return (library->*Function)(link->handle, args...);
}

}  // namespace

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName) {
  return lf_forward<&Library::SubscribeToSystemEvent>(h, EventID, SystemEventName);
}

HRESULT SimConnect_UnsubscribeFromSystemEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID) {
  return lf_forward<&Library::UnsubscribeFromSystemEvent>(h, EventID);
}

HRESULT SimConnect_AddToDataDefinition(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID) {
  return lf_forward<&Library::AddToDataDefinition>(h, DefineID, DatumName, UnitsName, DatumType, fEpsilon,
                                                   DatumID);
}

HRESULT SimConnect_ClearDataDefinition(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID) {
  return lf_forward<&Library::ClearDataDefinition>(h, DefineID);
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName) {
  return lf_forward<&Library::MapClientEventToSimEvent>(h, EventID, EventName);
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE h, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable) {
  return lf_forward<&Library::AddClientEventToNotificationGroup>(h, GroupID, EventID, bMaskable);
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE h, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority) {
  return lf_forward<&Library::SetNotificationGroupPriority>(h, GroupID, uPriority);
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE h, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval,
                                          DWORD limit) {
  return lf_forward<&Library::RequestDataOnSimObject>(h, RequestID, DefineID, ObjectID, Period, Flags, origin,
                                                      interval, limit);
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE h, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
  return lf_forward<&Library::RequestDataOnSimObjectType>(h, RequestID, DefineID, dwRadiusMeters, type);
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, const void* pDataSet) {
  return lf_forward<&Library::SetDataOnSimObject>(h, DefineID, ObjectID, Flags, ArrayCount, cbUnitSize,
                                                  pDataSet);
}

HRESULT SimConnect_TransmitClientEvent(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags) {
  return lf_forward<&Library::TransmitClientEvent>(h, ObjectID, EventID, dwData, GroupID, Flags);
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE h, const char* szContainerTitle, const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_forward<&Library::AICreateNonATCAircraft>(h, szContainerTitle, szTailNumber, InitPos, RequestID);
}

HRESULT SimConnect_AIRemoveObject(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_forward<&Library::AIRemoveObject>(h, ObjectID, RequestID);
}

HRESULT SimConnect_AIReleaseControl(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_forward<&Library::AIReleaseControl>(h, ObjectID, RequestID);
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath,
                                           SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_forward<&Library::AISetAircraftFlightPlan>(h, ObjectID, szFlightPlanPath, RequestID);
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE h, DWORD* pdwError) {
  return lf_forward<&Library::GetLastSentPacketID>(h, pdwError);
}
#endif
