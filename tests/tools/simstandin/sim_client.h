#pragma once
// A small SimConnect client for the stand-in's tests and benchmark: it keeps
// every received message so a test can look for what it expects.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/simconnect.h"
#include "platform/simconnect_wire.h"

namespace simtest {

struct Received {
  std::vector<std::uint64_t> storage;  // aligned copy
  DWORD size = 0;
  DWORD id() const { return as<SIMCONNECT_RECV>().dwID; }
  template <typename T>
  const T& as() const {
    return *reinterpret_cast<const T*>(storage.data());
  }
  // The value at `offset` of a data answer's block.
  template <typename T>
  T field(std::size_t offset) const {
    T v;
    std::memcpy(&v, block() + offset, sizeof v);
    return v;
  }
  const char* block() const { return reinterpret_cast<const char*>(storage.data()) + simwire::gDataOffset; }
  std::string text(std::size_t offset, std::size_t max) const {
    const char* p = block() + offset;
    return std::string(p, strnlen(p, max));
  }
};

class SimClient {
 public:
  SimClient() = default;
  ~SimClient() { close(); }
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;

  // Opens under `name`, trying again until `patience` is spent.
  bool open(const std::string& address, std::chrono::milliseconds patience = std::chrono::milliseconds(0),
            const char* name = "Skylume") {
    gf_setSimConnectAddress(address);
    auto end = std::chrono::steady_clock::now() + patience;
    for (;;) {
      if (SUCCEEDED(SimConnect_Open(&h, name, nullptr, 0, nullptr, 0))) return true;
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // another process is starting
    }
  }
  void close() {
    if (h) SimConnect_Close(h);
    h = nullptr;
  }
  DWORD lastPacket() const {
    DWORD id = 0;
    SimConnect_GetLastSentPacketID(h, &id);
    return id;
  }

  // Dispatches until `done` holds for the messages received so far, or time is up.
  bool pumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      lastResult = SimConnect_CallDispatch(h, &SimClient::onMessage, this);
      if (done()) return true;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || FAILED(lastResult)) return false;
      gf_simConnectWaitForMessage(h, left);
    }
  }
  std::size_t count(DWORD id, const std::function<bool(const Received&)>& match = {}) const {
    std::size_t n = 0;
    for (const auto& m : messages) n += m.id() == id && (!match || match(m));
    return n;
  }
  const Received* find(DWORD id, const std::function<bool(const Received&)>& match = {}) const {
    for (const auto& m : messages)
      if (m.id() == id && (!match || match(m))) return &m;
    return nullptr;
  }
  bool pumpFor(DWORD id, const std::function<bool(const Received&)>& match = {}, std::size_t n = 1) {
    return pumpUntil([&] { return count(id, match) >= n; });
  }

  HANDLE h = nullptr;
  HRESULT lastResult = S_OK;
  std::vector<Received> messages;

 private:
  static void onMessage(SIMCONNECT_RECV* data, DWORD size, void* context) {
    auto* self = static_cast<SimClient*>(context);
    Received r;
    r.size = size;
    r.storage.resize((std::max<std::size_t>({size, data->dwSize, 512}) + 7) / 8);
    std::memcpy(r.storage.data(), data, size);
    self->messages.push_back(std::move(r));
  }
};

}  // namespace simtest
