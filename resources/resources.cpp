#include "resources/resources.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace {

// resources/skylume.ico, the file skylume.rc gives the Windows build, as bytes.
constexpr unsigned char kIconFile[] = {
#include "skylume_ico.inc"
};

std::uint32_t lf_le32(std::size_t at) {
  return static_cast<std::uint32_t>(kIconFile[at]) | static_cast<std::uint32_t>(kIconFile[at + 1]) << 8 |
         static_cast<std::uint32_t>(kIconFile[at + 2]) << 16 |
         static_cast<std::uint32_t>(kIconFile[at + 3]) << 24;
}

// The icon file's first image, 32 bits a pixel, stored bottom-up as blue,
// green, red and alpha after its bitmap header; 0xAARRGGBB row by row from the top.
std::vector<std::uint32_t> lf_iconPixels(int& size) {
  constexpr std::size_t kEntry = 6;  // after the icon directory's header
  size = kIconFile[kEntry] == 0 ? 256 : kIconFile[kEntry];
  const std::size_t image = lf_le32(kEntry + 12);
  const std::size_t pixels = image + lf_le32(image);  // past the bitmap header
  std::vector<std::uint32_t> argb(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const std::size_t at = pixels + 4 * (static_cast<std::size_t>(size - 1 - y) * size + x);
      const std::uint32_t bgra = lf_le32(at);
      argb[static_cast<std::size_t>(y) * size + x] = bgra;  // little-endian BGRA is 0xAARRGGBB
    }
  }
  return argb;
}

}  // namespace

void gf_registerResources() {
  gf_setStringResource(IDS_APP_TITLE, u"Skylume");
  int size = 0;
  std::vector<std::uint32_t> argb = lf_iconPixels(size);
  gf_setIconResource(IDI_SKYLUME, size, std::move(argb));
}
