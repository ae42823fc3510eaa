// The window on a real X server: a private Xvfb is started for the test, the
// window is drawn there, read back from the server, clicked and typed into with
// X events, and a screenshot is left in the build folder for a person to look at
// (window_screenshot.xwd, and window_screenshot.png when ImageMagick is there).
// Skipped when Xvfb is not installed.
#include "platform/window.h"
#include "platform/system.h"
#include "tests/platform/thread_state.h"
#include "tests/platform/window_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#if __has_include(<X11/Xlib.h>)
#include <X11/Xlib.h>
#include <X11/keysym.h>
#define SKLM_TEST_X11 1
#endif

extern char** environ;

namespace {

constexpr int kBoxId = 32797;
constexpr int kEditId = 32808;
constexpr int kButtonId = 32838;
constexpr UINT kTimeout = WM_APP + 99;

HBRUSH gBlack = CreateSolidBrush(kBlack);
HBRUSH gBlue = CreateSolidBrush(kLightBlue);
HBRUSH gGreen = CreateSolidBrush(kGreen);
HPEN gWhitePen = CreatePen(PS_SOLID, 1, kWhite);

std::vector<WPARAM> gCommands;
int gEnters = 0;
WNDPROC gEditPrevious = nullptr;

std::string lf_findProgram(const std::string& name) {
  const std::string all = gf_environmentVariable("PATH").value_or("/usr/bin:/bin");
  for (std::size_t start = 0; start <= all.size();) {
    std::size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    std::filesystem::path candidate = std::filesystem::path(all.substr(start, end - start)) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

pid_t lf_spawn(const std::vector<std::string>& args, const posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0].c_str(), actions, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int lf_run(const std::vector<std::string>& args) {
  pid_t pid = lf_spawn(args);
  if (pid < 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A private X server on a display number it picks itself; it tells the number
// once it accepts connections, so nothing has to be waited for by time.
class Xvfb {
 public:
  bool start() {
    const std::string program = lf_findProgram("Xvfb");
    if (program.empty()) return false;
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const int devNull = open("/dev/null", O_WRONLY);
    posix_spawn_file_actions_adddup2(&actions, devNull, 2);
    m_pid = lf_spawn({program, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x600x24",
                      "-nolisten", "tcp", "-noreset"},
                     &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(devNull);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (m_pid > 0 && poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return false;
    m_display = ":" + number;
    return true;
  }
  ~Xvfb() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  const std::string& display() const { return m_display; }

 private:
  pid_t m_pid = -1;
  std::string m_display;
};

LRESULT lf_editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CHAR && wParam == 13) {
    ++gEnters;
    return 0;
  }
  return CallWindowProcW(gEditPrevious, hwnd, msg, wParam, lParam);
}

void lf_text(HDC dc, int x, int y, const std::u16string& text, COLORREF colour) {
  SetTextColor(dc, colour);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// A small likeness of the main window: bands, lines, texts and three controls.
LRESULT lf_windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      CreateWindowExW(0, u"button", u"", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 5, 149, 12, 12, hwnd,
                      gf_controlIdAsMenu(kBoxId), nullptr, nullptr);
      HWND edit = CreateWindowExW(0, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 217, 203, 50, 16,
                                  hwnd, gf_controlIdAsMenu(kEditId), nullptr, nullptr);
      gEditPrevious = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(lf_editProc)));
      CreateWindowExW(0, u"button", u"Re-read", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 758, 341, 90,
                      20, hwnd, gf_controlIdAsMenu(kButtonId), nullptr, nullptr);
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      const RECT header{0, 0, 880, 28}, status{0, 28, 880, 112}, settings{0, 112, 880, 392},
          parking{0, 392, 880, 448}, message{0, 448, 880, 476};
      FillRect(dc, &header, gBlack);
      FillRect(dc, &status, gBlack);
      FillRect(dc, &settings, gBlue);
      FillRect(dc, &parking, gBlack);
      FillRect(dc, &message, gGreen);
      HGDIOBJ old = SelectObject(dc, gWhitePen);
      for (int y : {28, 113, 449, 392}) {
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, 880, y);
      }
      SelectObject(dc, old);
      SetBkMode(dc, TRANSPARENT);
      lf_text(dc, 3, 7, u"Version 10.9.4", kGreen);
      lf_text(dc, 390, 7, u"Skylume", kGreen);
      lf_text(dc, 25, 147, u"Scan for liveries", kBlack);
      lf_text(dc, 5, 203, u"Max aircraft matching depth", kBlack);
      lf_text(dc, 3, 455, u"Window layer on X11", kYellow);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      gCommands.push_back(wParam);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return gf_controlColourOnLightBlue(wParam);
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

// Runs the message loop until `done` holds or, as a guard against a lost
// event, a timer message arrives. Returns whether `done` held.
template <class Pred>
bool lf_loopUntil(HWND hwnd, Pred done) {
  std::atomic<bool> finished{false};
  std::mutex m;
  std::condition_variable cv;
  std::thread guard([&] {
    std::unique_lock lk(m);
    if (!cv.wait_for(lk, std::chrono::seconds(10), [&] { return finished.load(); }))
      PostMessageW(hwnd, kTimeout, 0, 0);
  });
  bool ok = done();
  MSG msg;
  while (!ok && GetMessageW(&msg, nullptr, 0, 0)) {
    if (msg.message == kTimeout) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ok = done();
  }
  {
    std::lock_guard lk(m);
    finished = true;
  }
  cv.notify_all();
  guard.join();
  return ok;
}

int lf_count(const std::vector<COLORREF>& pixels, COLORREF c) {
  return static_cast<int>(std::count(pixels.begin(), pixels.end(), c));
}

// Names the private X server in DISPLAY while it lives.
class DisplayEnv {
 public:
  explicit DisplayEnv(const std::string& display) : m_old(gf_environmentVariable("DISPLAY")) {
    gf_setEnvironmentVariable("DISPLAY", display);
  }
  ~DisplayEnv() {
    gf_enableDisplay(false);
    gf_setEnvironmentVariable("DISPLAY", m_old);
  }

 private:
  std::optional<std::string> m_old;
};

#ifdef SKLM_TEST_X11
// The test's own connection, closed on every way out of the test.
class XConnection {
 public:
  explicit XConnection(const std::string& display) : m_dpy(XOpenDisplay(display.c_str())) {}
  ~XConnection() {
    if (m_dpy) XCloseDisplay(m_dpy);
  }
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;
  ::Display* get() const { return m_dpy; }

 private:
  ::Display* m_dpy;
};

// The top-level X window of that width (0 when none), optionally only a viewable one.
::Window lf_findXWindow(::Display* dpy, int width, bool viewable) {
  ::Window root = DefaultRootWindow(dpy), parent = 0, found = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(dpy, root, &root, &parent, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(dpy, children[i], &a) && a.width == width &&
        (!viewable || a.map_state == IsViewable))
      found = children[i];
  }
  if (children) XFree(children);
  return found;
}

// What the window manager sends when its close button is clicked.
void lf_sendCloseRequest(::Display* dpy, ::Window target) {
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = target;
  close.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  XSendEvent(dpy, target, False, NoEventMask, &close);
  XFlush(dpy);
}
#endif

// Must run before any other test opens a display: the font is loaded on the
// first opening, while the window thread may already be measuring text (a
// ThreadSanitizer build sees any unguarded access).
TEST(Display, TextIsMeasuredWhileTheDisplayOpens) {
  Xvfb server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not available";
  DisplayEnv env(server.display());
  gf_registerTestClass(u"SklmDisplayFontTest", DefWindowProcW);
  HWND hwnd = CreateWindowExW(0, u"SklmDisplayFontTest", u"", 0, 0, 0, 200, 50, nullptr, nullptr,
                              nullptr, nullptr);  // headless: made before the display opens
  HWND button = CreateWindowExW(0, u"button", u"Re-read", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 5,
                                5, 90, 20, hwnd, gf_controlIdAsMenu(kButtonId), nullptr, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  std::thread opener([] { EXPECT_TRUE(gf_enableDisplay()); });
  for (int i = 0; i < 20; ++i) {  // each paint of the button measures its caption
    InvalidateRect(button, nullptr, TRUE);
    gf_pumpMessages();
  }
  opener.join();
  EXPECT_GE(gf_testPaintCount(button), 20);
  DestroyWindow(hwnd);
}

// The last window going while another thread makes a new one: the connection
// stays and the new window still gets the display's events.
TEST(Display, WindowMadeWhileTheLastOneGoesStillGetsEvents) {
  Xvfb server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not available";
  DisplayEnv env(server.display());
  ASSERT_TRUE(gf_enableDisplay());
  static std::atomic<bool> closed{false};
  closed = false;
  gf_registerTestClass(u"SklmDisplayRelayTest", [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_CLOSE) closed = true;
    return DefWindowProcW(h, m, w, l);
  });
  auto make = [] {
    return CreateWindowExW(0, u"SklmDisplayRelayTest", u"", 0, 0, 0, 321, 123, nullptr, nullptr,
                           nullptr, nullptr);
  };
  HWND first = make();
  ASSERT_NE(first, nullptr);
  std::atomic<pid_t> tid{0};
  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    tid = gf_currentThreadId();
    DestroyWindow(first);  // the last window: the event thread is stopped and awaited
    destroyed = true;
  });
  // Make the new window while the destroyer waits for the event thread to end.
  while (!destroyed && !(tid != 0 && gf_threadState(tid) == 'S')) std::this_thread::yield();
  HWND second = make();
  ASSERT_NE(second, nullptr);
  destroyer.join();
  EXPECT_TRUE(gf_displayActive());

#ifdef SKLM_TEST_X11
  const XConnection connection(server.display());
  ::Display* dpy = connection.get();
  ASSERT_NE(dpy, nullptr);
  const ::Window target = lf_findXWindow(dpy, 321, false);
  ASSERT_NE(target, 0u);
  lf_sendCloseRequest(dpy, target);
  EXPECT_TRUE(lf_loopUntil(second, [] { return closed.load(); }));
#endif
  DestroyWindow(second);
}

TEST(Display, WindowIsDrawnAndUsableOnXvfb) {
  Xvfb server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not available";
  DisplayEnv env(server.display());
  ASSERT_TRUE(gf_enableDisplay());

  gf_registerTestClass(u"SklmDisplayTest", lf_windowProc, gBlack);
  HWND hwnd = CreateWindowExW(0, u"SklmDisplayTest", u"Skylume", WS_CAPTION | WS_SYSMENU, 10, 10, 880,
                              516, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  SetWindowTextW(GetDlgItem(hwnd, kEditId), u"10");
  CheckDlgButton(hwnd, kBoxId, BST_CHECKED);
  gf_pumpMessages();

  // What the server shows, read back from it.
  const auto header = gf_testScreenPixels(hwnd, RECT{0, 0, 880, 28});
  ASSERT_EQ(header.size(), 880u * 28u);
  EXPECT_GT(lf_count(header, kBlack), 880 * 28 * 8 / 10);
  const auto version = gf_testScreenPixels(hwnd, RECT{3, 7, 90, 21});
  EXPECT_GT(lf_count(version, kGreen), 50);  // the glyphs of "Version 10.9.4"
  const auto settings = gf_testScreenPixels(hwnd, RECT{300, 120, 700, 140});
  EXPECT_EQ(lf_count(settings, kLightBlue), 400 * 20);
  const auto message = gf_testScreenPixels(hwnd, RECT{300, 450, 880, 476});
  EXPECT_EQ(lf_count(message, kGreen), 580 * 26);
  const auto label = gf_testScreenPixels(hwnd, RECT{25, 147, 125, 161});
  EXPECT_GT(lf_count(label, kBlack), 50);
  const auto box = gf_testScreenPixels(GetDlgItem(hwnd, kBoxId), RECT{0, 0, 12, 12});
  EXPECT_GT(lf_count(box, kBlack), 5);  // the tick
  const auto edit = gf_testScreenPixels(GetDlgItem(hwnd, kEditId), RECT{1, 1, 49, 15});
  EXPECT_GT(lf_count(edit, kWhite), 100);  // the DC brush behind the text
  EXPECT_GT(lf_count(edit, kLightBlue), 20);  // the text's own background

  // A screenshot for people.
  const std::filesystem::path shot = std::filesystem::path(SKLM_BINARY_DIR) / "window_screenshot";
  const std::string xwd = lf_findProgram("xwd");
  if (!xwd.empty()) {
    ASSERT_EQ(lf_run({xwd, "-root", "-silent", "-display", server.display(), "-out", shot.string() + ".xwd"}), 0);
    EXPECT_GT(std::filesystem::file_size(shot.string() + ".xwd"), 880u * 516u);
    const std::string convert = lf_findProgram("convert");
    if (!convert.empty() &&
        lf_run({convert, "xwd:" + shot.string() + ".xwd", "png:" + shot.string() + ".png"}) == 0)
      std::cout << "screenshot: " << shot.string() << ".png\n";
    else
      std::cout << "screenshot: " << shot.string() << ".xwd\n";
  }

#ifdef SKLM_TEST_X11
  // Clicks and keys as the X server delivers them.
  const XConnection connection(server.display());
  ::Display* dpy = connection.get();
  ASSERT_NE(dpy, nullptr);
  const ::Window root = DefaultRootWindow(dpy), top = lf_findXWindow(dpy, 880, true);
  ASSERT_NE(top, 0u);
  auto click = [&](int x, int y) {
    for (int type : {ButtonPress, ButtonRelease}) {
      XEvent e{};
      e.xbutton.type = type;
      e.xbutton.window = top;
      e.xbutton.root = root;
      e.xbutton.x = x;
      e.xbutton.y = y;
      e.xbutton.button = Button1;
      e.xbutton.same_screen = True;
      XSendEvent(dpy, top, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    }
    XFlush(dpy);
  };
  auto key = [&](KeySym sym) {
    for (int type : {KeyPress, KeyRelease}) {
      XEvent e{};
      e.xkey.type = type;
      e.xkey.window = top;
      e.xkey.root = root;
      e.xkey.keycode = XKeysymToKeycode(dpy, sym);
      e.xkey.same_screen = True;
      XSendEvent(dpy, top, False, type == KeyPress ? KeyPressMask : KeyReleaseMask, &e);
    }
    XFlush(dpy);
  };

  click(11, 155);  // the check box
  EXPECT_TRUE(lf_loopUntil(hwnd, [] { return !gCommands.empty(); }));
  ASSERT_EQ(gCommands.size(), 1u);
  EXPECT_EQ(gCommands[0], MAKEWPARAM(kBoxId, BN_CLICKED));
  EXPECT_EQ(IsDlgButtonChecked(hwnd, kBoxId), BST_CHECKED);  // not automatic

  click(230, 210);  // focus the edit box, then type into it
  for (KeySym s : {XK_BackSpace, XK_BackSpace, XK_a, XK_b, XK_c, XK_Return}) key(s);
  EXPECT_TRUE(lf_loopUntil(hwnd, [] { return gEnters == 1; }));
  EXPECT_EQ(gf_testControlState(GetDlgItem(hwnd, kEditId)).text, u"abc");

  EnableWindow(GetDlgItem(hwnd, kButtonId), FALSE);
  click(800, 350);  // a disabled button: nothing
  click(11, 155);
  EXPECT_TRUE(lf_loopUntil(hwnd, [] { return gCommands.size() == 2; }));
  EXPECT_EQ(gCommands.back(), MAKEWPARAM(kBoxId, BN_CLICKED));

  // The window manager's close button becomes WM_CLOSE.
  lf_sendCloseRequest(dpy, top);
  EXPECT_TRUE(lf_loopUntil(hwnd, [&] { return !IsWindow(hwnd); }));  // DefWindowProcW destroys it
#endif
  DestroyWindow(hwnd);
  EXPECT_FALSE(gf_displayActive());
}

#ifdef SKLM_TEST_X11
// The user asked for a window by naming a display: running headless is said, once.
TEST(Display, ADisplayThatCannotBeOpenedIsSaidOnStderrOnce) {
  DisplayEnv env(":7777");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(gf_enableDisplay());
  EXPECT_FALSE(gf_enableDisplay());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot open display :7777; running without a window\n");
}
#endif

#ifdef SKLM_TEST_X11
TEST(Display, TheClassIconBecomesTheWindowsIconProperty) {
  Xvfb server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not available";
  DisplayEnv env(server.display());
  ASSERT_TRUE(gf_enableDisplay());
  gf_setIconResource(4242, 2, {0xFF000000u, 0xFFFFFFFFu, 0x80FF0000u, 0x00000000u});
  WNDCLASSEXW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(4242));
  wc.lpszClassName = u"SklmDisplayIconTest";
  ASSERT_NE(RegisterClassExW(&wc), 0);
  HWND hwnd = CreateWindowExW(0, u"SklmDisplayIconTest", u"", 0, 0, 0, 333, 44, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  const XConnection connection(server.display());
  ASSERT_NE(connection.get(), nullptr);
  const ::Window target = lf_findXWindow(connection.get(), 333, false);
  ASSERT_NE(target, 0u);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(connection.get(), target, XInternAtom(connection.get(), "_NET_WM_ICON", False), 0, 64,
                               False, AnyPropertyType, &type, &format, &count, &after, &data),
            Success);
  // Format-32 items arrive as longs, sign-extended: the low 32 bits are the value.
  std::vector<unsigned long> values(reinterpret_cast<unsigned long*>(data), reinterpret_cast<unsigned long*>(data) + count);
  for (auto& v : values) v &= 0xFFFFFFFFul;
  XFree(data);
  EXPECT_EQ(values, (std::vector<unsigned long>{2, 2, 0xFF000000u, 0xFFFFFFFFu, 0x80FF0000u, 0}));
  DestroyWindow(hwnd);
}
#endif

}  // namespace
