#include "liveries/matching_summary.h"

#include <string>
#include <vector>

#include "core/format.h"
#include "core/log.h"
#include "core/util.h"
#include "liveries/livery_tables.h"
#include "liveries/uncreatable_titles.h"

void gf_logLiveryMatchingSummary() {
  static const std::string kTitle = "live traffic livery matching summary";
  constexpr unsigned kWidth = 100;
  std::vector<std::string> lines;
  lines.reserve(256);
  lines.push_back(gf_bannerLine(kWidth - static_cast<unsigned>(kTitle.size()), 0, true, false, kTitle));
  lines.emplace_back("Matches at step: ");
  for (std::size_t step = 0; step < gMatchesPerStep.size(); ++step) {
    lines.push_back(sk::format("  {}: {}", step + 1, gMatchesPerStep[step].load()));
  }
  const std::vector<std::string> failures = gf_creationFailureList();
  if (!failures.empty()) {
    lines.push_back(sk::format("\nCould not be created by {}:", "MSFS"));
    lines.insert(lines.end(), failures.begin(), failures.end());
  }
  lines.push_back(gf_bannerLine(kWidth, 0, false, true, ""));
  for (const auto& line : lines) gf_logText(line);
}
