#pragma once
// The basic Windows types in the shapes the program's code uses them.
// On Windows they are the system's own: every platform header includes this
// one first, so the program sees the real declarations (Winsock 2 before
// windows.h, as it must be). On Linux they are our own declarations: the
// handles are opaque pointers owned by the platform layer.
#ifdef _WIN32
// Winsock 2 before windows.h, the others after it.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <windowsx.h>
#include <mmsystem.h>
#include <shlobj.h>
// clang-format on
#else
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using LONG = std::int32_t;
using COLORREF = DWORD;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
struct HANDLE__;
using HANDLE = HANDLE__*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// COM-style result codes, as the SimConnect calls return them.
using HRESULT = std::int32_t;
#ifndef S_OK
#define S_OK (static_cast<HRESULT>(0))
#define E_FAIL (static_cast<HRESULT>(0x80004005u))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057u))
#endif
#ifndef SUCCEEDED
#define SUCCEEDED(hr) ((static_cast<HRESULT>(hr)) >= 0)
#define FAILED(hr) ((static_cast<HRESULT>(hr)) < 0)
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// ---- Window and drawing types (platform/window.h) ----
using ATOM = WORD;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LPVOID = void*;
using WCHAR = char16_t;  // UTF-16 unit: wchar_t is 32 bits here
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
// Wide text literals, as TEXT("...") reads on Windows.
#define TEXT(quote) u##quote

struct HMENU__;
using HMENU = HMENU__*;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HACCEL__;
using HACCEL = HACCEL__*;
struct HDC__;
using HDC = HDC__*;
// Brushes and pens convert to HGDIOBJ as they do for SelectObject.
struct HGDIOBJ__ {};
using HGDIOBJ = HGDIOBJ__*;
struct HBRUSH__ : HGDIOBJ__ {};
using HBRUSH = HBRUSH__*;
struct HPEN__ : HGDIOBJ__ {};
using HPEN = HPEN__*;
struct HFONT__ : HGDIOBJ__ {};
using HFONT = HFONT__*;

struct POINT {
  LONG x = 0;
  LONG y = 0;
  friend bool operator==(const POINT&, const POINT&) = default;
};

struct SIZE {
  LONG cx = 0;
  LONG cy = 0;
};

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
  friend bool operator==(const RECT&, const RECT&) = default;
};

// Colours are 0x00BBGGRR.
constexpr COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
#endif  // _WIN32
