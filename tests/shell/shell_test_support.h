#pragma once
// The main window on the test's own thread, with its data folder and log in a
// scratch folder, and helpers to look into what a paint drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "../core/core_test_support.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/message_line.h"
#include "shell/status_area.h"

#ifdef _WIN32
// The system's RECT has no comparison of its own.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
#endif

// A file the program wrote as text, its line ends as '\n': on Windows they are "\r\n".
inline std::string readText(const std::filesystem::path& path) {
  std::string text = readBytes(path);
#ifdef _WIN32
  std::string lf;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
  }
  text = std::move(lf);
#endif
  return text;
}

inline std::filesystem::path shellFixture(const std::string& name) {
  return std::filesystem::path(SKLM_TEST_DATA_DIR) / "shell" / name;
}

// The fields of the application state back at their start values.
inline void resetAppState() {
  AppState& s = gAppState;
  s.resetForRestart();
  for (SharedText* text : {&s.objectIdText, &s.parkAirportCode, &s.parkAirportLabel, &s.reservedStand}) {
    text->clear();
  }
  s.liveryCount = -1;
  for (auto* counter : {&s.linkpackCount, &s.thirdpCount, &s.maxParkPercentage, &s.minutesToRenewal, &s.parkWeek,
                        &s.tbloAirportCount}) {
    counter->store(0);
  }
  for (auto* flag : {&s.staticMark, &s.parkFileLoaded, &s.staticParkingBusy}) flag->store(false);
}

// The message the line holds now.
inline std::string messageText() {
  std::lock_guard lock(gAppState.messageMutex);
  return gAppState.messageText;
}

// Check boxes the tests change, back at their defaults.
inline void resetSettings() {
  for (CheckboxParameter* box : {&MSFS_2020, &SCAN_LIVERIES, &SCAN_AIRPORTS, &ALWAYS_ON_TOP, &AEROWINX,
                                 &GUID_CHANGES, &INITIAL_LOAD_ONLY, &AUTO_RANGE, &STRAIGHT_PBS_ONLY, &WEEK}) {
    box->value = box->defaultValue;
  }
  for (IntParameter* number :
       {static_cast<IntParameter*>(&MAX_LIVE), static_cast<IntParameter*>(&CUSTOM_MAX_PARK), &MAIN_WINDOW_X,
        &MAIN_WINDOW_Y}) {
    number->value = number->defaultValue;
  }
  CALLSIGN_2_OBJECTID.setValue("");
  BLOCK_CALLSIGN.setValue("");
}

// A scratch folder as data folder and program folder, with Log.txt open in it,
// and the message line installed; the window is made by openWindow().
class ShellTest : public testing::Test {
 protected:
  void SetUp() override {
    m_scratch.emplace();
    m_folder = m_scratch->path();
    gf_setDataFolder(m_folder);
    gf_startLog(m_folder / "Log.txt");
    m_logHeaderSize = readText(m_folder / "Log.txt").size();
    gf_installMessageLine();
    gf_setWindowHooks({});
    resetAppState();
    resetSettings();
  }

  void TearDown() override {
    if (HWND window = gAppState.mainWindow.exchange(nullptr)) DestroyWindow(window);
    drainMessages();
    gf_setWindowHooks({});
    gf_setMessageSink(nullptr);
    gf_closeLog();
    gf_setDataFolder({});
    resetSettings();
    m_scratch.reset();
  }

  static void registerClass() {
    static const bool registered = [] {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      windowClass.style = CS_HREDRAW | CS_VREDRAW;
      windowClass.lpfnWndProc = WndProc;
      windowClass.lpszClassName = TEXT("Skylume");
      return RegisterClassExW(&windowClass) != 0;
    }();
    ASSERT_TRUE(registered);
  }

  HWND openWindow() {
    registerClass();
    EXPECT_TRUE(initInstance(nullptr, TEXT("Skylume")));
    return gAppState.mainWindow.load();
  }

  // Handles whatever is queued for this thread (WM_QUIT included).
  static void drainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    }
  }

  // What the log got after its header.
  std::string logged() const { return readText(m_folder / "Log.txt").substr(m_logHeaderSize); }

  const std::filesystem::path& folder() const { return m_folder; }

 private:
  std::optional<ScratchFolder> m_scratch;
  std::filesystem::path m_folder;
  std::size_t m_logHeaderSize = 0;
};

// A paint of the whole client area through a recording device context.
inline std::vector<PaintOp> paintAll() {
  HDC dc = gf_testCreateRecordingDC();
  lf_paint(dc);
  std::vector<PaintOp> ops = gf_testPaintOps(dc);
  DeleteDC(dc);
  return ops;
}

inline std::u16string u16(const std::string& text) {
  return {text.begin(), text.end()};
}

// The text drawn at (x, y), if any.
inline std::optional<PaintOp> textAt(const std::vector<PaintOp>& ops, int x, int y) {
  auto found = std::find_if(ops.begin(), ops.end(), [&](const PaintOp& op) {
    return op.kind == PaintOp::Kind::Text && op.rect.left == x && op.rect.top == y;
  });
  if (found == ops.end()) return std::nullopt;
  return *found;
}

inline bool drawsText(const std::vector<PaintOp>& ops, const std::string& text) {
  return std::any_of(ops.begin(), ops.end(), [&](const PaintOp& op) {
    return op.kind == PaintOp::Kind::Text && op.text == u16(text);
  });
}

// The colour of the last fill of exactly that rectangle.
inline std::optional<COLORREF> lastFill(const std::vector<PaintOp>& ops, const RECT& rect) {
  std::optional<COLORREF> colour;
  for (const PaintOp& op : ops) {
    if (op.kind == PaintOp::Kind::Fill && op.rect == rect) colour = op.colour;
  }
  return colour;
}

// The text at (x, y) is this one, in this colour.
inline testing::AssertionResult hasText(const std::vector<PaintOp>& ops, int x, int y,
                                        const std::string& text, COLORREF colour) {
  const auto op = textAt(ops, x, y);
  if (!op) return testing::AssertionFailure() << "no text at (" << x << ", " << y << ")";
  if (op->text != u16(text) || op->colour != colour) {
    return testing::AssertionFailure() << "at (" << x << ", " << y << "): " << *op;
  }
  return testing::AssertionSuccess();
}

struct Drawn {
  int x;
  int y;
  const char* text;
  COLORREF colour;
};
inline void expectTexts(const std::vector<PaintOp>& ops, std::initializer_list<Drawn> texts) {
  for (const Drawn& drawn : texts) {
    EXPECT_TRUE(hasText(ops, drawn.x, drawn.y, drawn.text, drawn.colour)) << drawn.text;
  }
}
