// How a recorded drawing operation prints in a failed test's message.
#include <ostream>

#include "platform/window.h"

std::ostream& operator<<(std::ostream& os, const PaintOp& op) {
  auto colour = [&os](COLORREF c) {
    os << "RGB(" << int{GetRValue(c)} << ',' << int{GetGValue(c)} << ',' << int{GetBValue(c)} << ')';
  };
  const RECT& r = op.rect;
  switch (op.kind) {
    case PaintOp::Kind::Fill:
      os << "fill(" << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << ", ";
      break;
    case PaintOp::Kind::Line:
      os << "line(" << r.left << ',' << r.top << " -> " << r.right << ',' << r.bottom << ", ";
      break;
    case PaintOp::Kind::Text: {
      os << "text(" << r.left << ',' << r.top << ", \"";
      for (char16_t c : op.text) os << (c < 128 ? static_cast<char>(c) : '?');
      os << "\", ";
      break;
    }
  }
  colour(op.colour);
  if (op.background) {
    os << " on ";
    colour(*op.background);
  }
  return os << ')';
}
