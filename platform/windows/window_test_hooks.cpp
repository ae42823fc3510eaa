// The window layer's test hooks over the system's own user interface and GDI.
// The recording device context is an enhanced metafile's: GDI writes every call
// into it as a record, and reading the records back with the device context's
// state (objects, colours, current position, font) gives the same operations the
// Linux layer records.
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/window.h"

namespace {

struct GdiObject {
  bool brush = false;
  bool drawn = true;  // a null brush or pen draws nothing
  COLORREF colour = 0;
};

// How wide a text is in a font, as GDI measures it on a device context of the
// screen: the metafile's reference device.
int lf_textWidth(HFONT font, const WCHAR* text, int length) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return 0;
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, length, &size);
  SelectObject(dc, previous);
  DeleteDC(dc);
  return size.cx;
}

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using OwnedFont = std::shared_ptr<std::remove_pointer_t<HFONT>>;

// The state of the device context as the records replay it.
struct Replay {
  std::map<DWORD, GdiObject> objects;  // the metafile's handle table
  std::map<DWORD, OwnedFont> fonts;    // its fonts, made again from their records
  OwnedFont madeFont;                  // the selected one when made here
  HFONT font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));  // a new device context's
  GdiObject brush{true, true, RGB(255, 255, 255)};
  GdiObject pen{false, true, RGB(0, 0, 0)};
  COLORREF textColour = RGB(0, 0, 0);
  COLORREF bkColour = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  POINT position{};
  std::vector<PaintOp> ops;
};

GdiObject lf_stockObject(DWORD index) {
  switch (index) {
    case WHITE_BRUSH: return {true, true, RGB(255, 255, 255)};
    case BLACK_BRUSH: return {true, true, RGB(0, 0, 0)};
    case NULL_BRUSH: return {true, false, 0};
    case WHITE_PEN: return {false, true, RGB(255, 255, 255)};
    case BLACK_PEN: return {false, true, RGB(0, 0, 0)};
    case NULL_PEN: return {false, false, 0};
    case DC_BRUSH: return {true, true, RGB(255, 255, 255)};  // its colour is never set by the program
    case DC_PEN: return {false, true, RGB(0, 0, 0)};
    default: return {true, false, 0};
  }
}

int CALLBACK lf_replayRecord(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param) {
  Replay& r = *reinterpret_cast<Replay*>(param);
  switch (record->iType) {
    case EMR_CREATEBRUSHINDIRECT: {
      const auto* brush = reinterpret_cast<const EMRCREATEBRUSHINDIRECT*>(record);
      r.objects[brush->ihBrush] = {true, brush->lb.lbStyle != BS_NULL, brush->lb.lbColor};
      break;
    }
    case EMR_CREATEPEN: {
      const auto* pen = reinterpret_cast<const EMRCREATEPEN*>(record);
      r.objects[pen->ihPen] = {false, pen->lopn.lopnStyle != PS_NULL, pen->lopn.lopnColor};
      break;
    }
    case EMR_EXTCREATEPEN: {
      const auto* pen = reinterpret_cast<const EMREXTCREATEPEN*>(record);
      r.objects[pen->ihPen] = {false, (pen->elp.elpPenStyle & PS_STYLE_MASK) != PS_NULL, pen->elp.elpColor};
      break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      const auto* font = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(record);
      if (HFONT made = CreateFontIndirectW(&font->elfw.elfLogFont)) r.fonts[font->ihFont] = {made, FontDeleter{}};
      break;
    }
    case EMR_SELECTOBJECT: {
      const DWORD index = reinterpret_cast<const EMRSELECTOBJECT*>(record)->ihObject;
      if (auto font = r.fonts.find(index); font != r.fonts.end()) {
        r.madeFont = font->second;
        r.font = font->second.get();
        break;
      }
      if (index & 0x80000000u) {
        HGDIOBJ stock = GetStockObject(static_cast<int>(index & 0x7FFFFFFFu));
        if (stock && GetObjectType(stock) == OBJ_FONT) {
          r.madeFont.reset();
          r.font = static_cast<HFONT>(stock);
          break;
        }
      }
      GdiObject object;
      if (index & 0x80000000u) {
        object = lf_stockObject(index & 0x7FFFFFFFu);
      } else if (auto found = r.objects.find(index); found != r.objects.end()) {
        object = found->second;
      } else {
        break;
      }
      (object.brush ? r.brush : r.pen) = object;
      break;
    }
    case EMR_DELETEOBJECT: {
      // A deleted font stays alive for as long as it is selected, as in GDI.
      const DWORD index = reinterpret_cast<const EMRDELETEOBJECT*>(record)->ihObject;
      r.objects.erase(index);
      r.fonts.erase(index);
      break;
    }
    case EMR_SETTEXTCOLOR:
      r.textColour = reinterpret_cast<const EMRSETTEXTCOLOR*>(record)->crColor;
      break;
    case EMR_SETBKCOLOR:
      r.bkColour = reinterpret_cast<const EMRSETBKCOLOR*>(record)->crColor;
      break;
    case EMR_SETBKMODE:
      r.bkMode = static_cast<int>(reinterpret_cast<const EMRSETBKMODE*>(record)->iMode);
      break;
    case EMR_MOVETOEX: {
      const POINTL& to = reinterpret_cast<const EMRMOVETOEX*>(record)->ptl;
      r.position = {to.x, to.y};
      break;
    }
    case EMR_LINETO: {
      const POINTL& to = reinterpret_cast<const EMRLINETO*>(record)->ptl;
      if (r.pen.drawn) r.ops.push_back(PaintOp::line(r.position.x, r.position.y, to.x, to.y, r.pen.colour));
      r.position = {to.x, to.y};
      break;
    }
    case EMR_BITBLT: {
      // FillRect is a pattern copy with the brush selected for it.
      const auto* blt = reinterpret_cast<const EMRBITBLT*>(record);
      if (blt->dwRop == PATCOPY && blt->cbBmiSrc == 0 && r.brush.drawn && blt->cxDest > 0 && blt->cyDest > 0) {
        r.ops.push_back(PaintOp::fill(
            RECT{blt->xDest, blt->yDest, blt->xDest + blt->cxDest, blt->yDest + blt->cyDest}, r.brush.colour));
      }
      break;
    }
    case EMR_EXTTEXTOUTW: {
      const auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
      std::u16string units(text->emrtext.nChars, u'\0');
      std::memcpy(units.data(), reinterpret_cast<const char*>(record) + text->emrtext.offString,
                  units.size() * sizeof(char16_t));
      const int width = lf_textWidth(r.font, reinterpret_cast<const WCHAR*>(units.data()),
                                     static_cast<int>(units.size()));
      r.ops.push_back(PaintOp::textOut(text->emrtext.ptlReference.x, text->emrtext.ptlReference.y,
                                       std::move(units), r.textColour,
                                       r.bkMode == OPAQUE ? std::optional(r.bkColour) : std::nullopt, width));
      break;
    }
    default:
      break;
  }
  return 1;
}

}  // namespace

HDC gf_testCreateRecordingDC() {
  return CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
}

// Closing the metafile ends the device context: DeleteDC after it then fails quietly.
std::vector<PaintOp> gf_testPaintOps(HDC hdc) {
  HENHMETAFILE metafile = CloseEnhMetaFile(hdc);
  if (!metafile) return {};
  Replay replay;
  EnumEnhMetaFile(nullptr, metafile, lf_replayRecord, &replay, nullptr);
  DeleteEnhMetaFile(metafile);
  return replay.ops;
}

ControlState gf_testControlState(HWND hwnd) {
  if (!IsWindow(hwnd)) return ControlState{};
  ControlState state;
  wchar_t className[16] = {};
  GetClassNameW(hwnd, className, 16);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  if (_wcsicmp(className, L"Button") == 0) {
    const DWORD type = style & BS_TYPEMASK;
    const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
    state.kind = box ? ControlKind::CheckBox : ControlKind::PushButton;
    state.checked = box && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
  } else if (_wcsicmp(className, L"Edit") == 0) {
    state.kind = ControlKind::Edit;
  } else {
    state.kind = ControlKind::Window;
  }
  state.id = GetDlgCtrlID(hwnd);
  GetWindowRect(hwnd, &state.rect);
  if (HWND parent = GetParent(hwnd); parent && (style & WS_CHILD)) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&state.rect), 2);
  }
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  state.text.assign(text.begin(), text.end());
  // A control without a font of its own draws in the system's.
  auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  state.textWidth = lf_textWidth(font ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT)), text.c_str(),
                                 static_cast<int>(text.size()));
  state.enabled = IsWindowEnabled(hwnd) != FALSE;
  state.visible = (style & WS_VISIBLE) != 0;
  return state;
}

bool gf_testClick(HWND control) {
  if (!IsWindow(control) || !IsWindowEnabled(control) ||
      !(GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE)) {
    return false;
  }
  RECT client{};
  GetClientRect(control, &client);
  const LPARAM at = MAKELPARAM(static_cast<WORD>(client.right / 2), static_cast<WORD>(client.bottom / 2));
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(control, WM_LBUTTONUP, 0, at);
  return true;
}

bool gf_testType(HWND hwnd, std::u16string_view keys) {
  if (!IsWindow(hwnd) || !IsWindowEnabled(hwnd)) return false;
  for (char16_t c : keys) {
    const WPARAM vk = c == u'\r' ? VK_RETURN : c == u'\b' ? VK_BACK : 0;
    if (vk) SendMessageW(hwnd, WM_KEYDOWN, vk, 1);
    SendMessageW(hwnd, WM_CHAR, c, 1);
    if (vk) SendMessageW(hwnd, WM_KEYUP, vk, 1);
  }
  return true;
}
