// The loopback client's own helpers, exported by simconnect-standin.dll beside
// the SimConnect functions under names of the project's own, as C functions
// (platform/simconnect_dll.cpp takes them when the library has them).
#ifdef SKLM_SIMCONNECT_STANDIN_DLL
#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/simconnect.h"

namespace {

std::atomic<void (*)(const char*)> gLogLine{nullptr};

}  // namespace

extern "C" {

void SklmStandin_SetAddress(const char* address) {
  gf_setSimConnectAddress(address ? address : "");
}

// Copies the address with its terminating zero when it fits; returns its length.
int SklmStandin_Address(char* text, int size) {
  const std::string address = gf_simConnectAddress();
  if (text && size > 0 && address.size() < static_cast<std::size_t>(size))
    std::memcpy(text, address.c_str(), address.size() + 1);
  return static_cast<int>(address.size());
}

void SklmStandin_FailNextCalls(const char* function, int count) {
  gf_simConnectFailNextCalls(function ? function : "", count);
}

void SklmStandin_SetLogHook(void (*hook)(const char* line)) {
  gLogLine = hook;
  if (!hook) {
    gf_setSimConnectLogHook(nullptr);
    return;
  }
  gf_setSimConnectLogHook([](const std::string& line) {
    if (auto forward = gLogLine.load()) forward(line.c_str());
  });
}

void SklmStandin_NoteDataTime(long long ticks) { gf_simConnectNoteDataTime(ticks); }

BOOL SklmStandin_WaitForMessage(HANDLE handle, DWORD milliseconds) {
  return gf_simConnectWaitForMessage(handle, std::chrono::milliseconds(milliseconds)) ? TRUE : FALSE;
}

}  // extern "C"
#endif
