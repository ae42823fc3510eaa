#include "resources/resources.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/window.h"

namespace {

constexpr int kIconSize = 32;
constexpr std::uint32_t kClear = 0x00000000;
constexpr std::uint32_t kSky = 0xFF1E4B8C;
constexpr std::uint32_t kAircraft = 0xFFFFFFFF;

// A white aircraft seen from above, nose up, on a deep blue disc.
std::vector<std::uint32_t> lf_icon() {
  std::vector<std::uint32_t> pixels(kIconSize * kIconSize, kClear);
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      const int dx = 2 * x - 31, dy = 2 * y - 31;  // doubled offsets from the centre
      if (dx * dx + dy * dy > 31 * 31) continue;
      const int across = std::abs(dx);
      const bool fuselage = across <= 1 && y >= 4 && y <= 27;
      const bool wings = y >= 12 && y <= 15 && across <= 25 - 2 * (y - 12);
      const bool tail = y >= 23 && y <= 25 && across <= 11 - 2 * (y - 23);
      pixels[y * kIconSize + x] = fuselage || wings || tail ? kAircraft : kSky;
    }
  }
  return pixels;
}

}  // namespace

void gf_registerResources() {
  gf_setStringResource(IDS_APP_TITLE, u"Skylume");
  gf_setIconResource(IDI_SKYLUME, kIconSize, lf_icon());
}
