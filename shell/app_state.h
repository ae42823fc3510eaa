#pragma once
// The one application object: everything the main window shows. Any thread
// writes its counters, flags and texts and then invalidates the part of the
// window that shows them; the window thread draws them on WM_PAINT.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/parameters.h"
#include "platform/window.h"
#include "traffic/reader_status.h"

inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kLightBlue = RGB(153, 204, 255);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kGreen = RGB(50, 205, 50);
inline constexpr COLORREF kYellow = RGB(255, 255, 0);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kGrey = RGB(160, 160, 160);

// Client-area bands.
inline constexpr RECT kHeaderRect{0, 0, 880, 28};
inline constexpr RECT kStatusRect{0, 28, 880, 112};
inline constexpr RECT kSettingsRect{0, 112, 880, 392};
inline constexpr RECT kParkingRect{0, 392, 880, 448};
inline constexpr RECT kMessageRect{0, 448, 880, 476};

inline constexpr int kMainWindowWidth = 880;
inline constexpr int kMainWindowHeight = 516;

// A status text written by one thread and drawn by the window thread: whole
// values only ever cross under its lock.
class SharedText {
 public:
  SharedText() = default;
  SharedText(const SharedText&) = delete;
  SharedText& operator=(const SharedText&) = delete;

  std::string get() const;
  void set(std::string text);
  void clear() { set(std::string()); }
  bool empty() const;

 private:
  mutable std::mutex m_mutex;
  std::string m_text;
};

struct RowLine {
  int x1, y1, x2, y2;
};

class AppState {
 public:
  AppState();
  virtual ~AppState();
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  // Texts, counts and flags of a run back to their start values (the
  // object-id text, the folder counts and the park-airport state stay).
  void resetForRestart();

  // The window position settings (the global objects of parameters.xml).
  IntParameter& MAIN_WINDOW_X;
  IntParameter& MAIN_WINDOW_Y;

  const HBRUSH redBrush;
  const HBRUSH lightBlueBrush;
  const HBRUSH blackBrush;
  const HBRUSH greenBrush;
  const HBRUSH yellowBrush;
  const HPEN blackPen;
  const HPEN whitePen;

  // Lines between the setting rows, drawn with the black pen.
  const std::array<RowLine, 7> rowLines{{{0, 140, 880, 140},
                                         {0, 168, 642, 168},
                                         {0, 196, 642, 196},
                                         {0, 224, 642, 224},
                                         {0, 252, 642, 252},
                                         {0, 280, 642, 280},
                                         {0, 308, 880, 308}}};

  // Guards messageText, errorText, messageSeconds and messageStartCount, and
  // the drawing of the message line.
  std::mutex messageMutex;

  HDC paintDc = nullptr;  // the paint in progress; window thread only
  std::atomic<HWND> mainWindow{nullptr};

  std::string messageText;
  std::string errorText;  // while not empty no message is shown

  SharedText userTitle;  // user aircraft text
  SharedText parkAirportText1;
  SharedText parkAirportText2;
  SharedText qualityText;    // after "qf: "
  SharedText simName;        // simulator line
  SharedText rtVersionText;  // RealTraffic version
  SharedText userStand;
  SharedText objectIdText;  // answer of the callsign-to-object-id lookup

  std::atomic<float> staticAverageFit{-1.0F};
  std::atomic<float> liveAverageFit{-1.0F};
  std::atomic<std::int64_t> liveryCount{-1};
  const std::int32_t parkingRowY = 399;
  std::int32_t messageSeconds = 0;     // one-second beats seen by the message line
  std::int32_t messageStartCount = 0;  // messageSeconds when the message was shown; 0: never ages
  std::atomic<std::int32_t> updateCount{0};
  std::atomic<std::int32_t> liveCount{0};
  std::atomic<std::int32_t> linkpackCount{0};
  std::atomic<std::int32_t> thirdpCount{0};
  std::atomic<std::int32_t> maxPark{0};
  std::atomic<std::int32_t> maxParkPercentage{0};
  std::atomic<std::int32_t> parkedLiveCount{0};
  std::atomic<std::int32_t> parkedStaticCount{0};
  std::atomic<std::int32_t> qnh{0};
  std::atomic<std::int32_t> statusCode{0};  // the status area's code; 19: static parking unblocked
  std::atomic<std::int32_t> standCount{0};
  std::atomic<std::int32_t> minutesToRenewal{0};
  std::atomic<bool> handMadeMark{false};
  std::atomic<bool> rtLightDark{true};
  std::atomic<bool> rtShown{false};
  std::atomic<bool> parkAirportActive{false};
  std::atomic<bool> simConnected{false};
  std::atomic<bool> flightLight{false};   // the simulator reports a running flight
  std::atomic<bool> userSpanKnown{true};  // the user aircraft text is drawn in the light's colour
  std::atomic<bool> staticMark{false};
  std::atomic<bool> reservedStandFound{false};
  std::atomic<bool> ready{false};
  std::atomic<std::int32_t> trafficReaderStatus{READER_STOPPED};
  std::atomic<std::int32_t> qnhReaderStatus{READER_STOPPED};

  // Park-airport state that static parking keeps and the window draws.
  SharedText parkAirportCode;             // ICAO code; empty: no park airport
  SharedText parkAirportLabel;            // the code followed by the airport's name
  SharedText reservedStand;               // the stand reserved for the user aircraft
  std::atomic<std::int32_t> parkWeek{0};  // week of the parking file's traffic
  std::atomic<bool> parkFileLoaded{false};
  std::atomic<bool> staticParkingBusy{false};     // static parking is being computed
  std::atomic<std::int32_t> tbloAirportCount{0};  // airports the scan found in the TBLO folder
};

extern AppState gAppState;

// The window handle last given to the window procedure; the control-text
// operations look their controls up under it.
extern std::atomic<HWND> gDlgParent;

// Invalidates a part of the main window (erasing); nothing before it exists.
void gf_invalidateMain(const RECT& rect);
