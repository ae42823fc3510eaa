// Entry of the program; the shell grows it into the full start-up.
#include <curl/curl.h>

#include <string>

#include "airports/archived_files.h"
#include "core/log.h"
#include "liveries/data_downloads.h"
#include "platform/window.h"
#include "shell/download.h"
#include "shell/main_window.h"
#include "shell/message_line.h"
#include "shell/update.h"

int main() {
  // Once, before any thread starts: every download builds on it.
  curl_global_init(CURL_GLOBAL_DEFAULT);
  gf_setDataDownloads({gf_downloadDbase, gf_downloadAigRegcodes});
  gf_setAirportDownloads({gf_downloadUrl, [](const std::string& url, const std::filesystem::path& file, bool binary) {
                            CurlHandle handle;
                            return gf_download(&handle, url, file, binary);
                          }});
  gf_enableDisplay();
  gf_installMessageLine();
  gf_setStringResource(101, u"Skylume");

  WCHAR className[101] = {};
  LoadStringW(nullptr, 101, className, 100);
  WNDCLASSEXW windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WndProc;
  windowClass.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(100));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
  windowClass.lpszClassName = className;
  RegisterClassExW(&windowClass);

  if (!initInstance(nullptr, className)) {
    gf_logText("initInstance failed");
    return 0;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
