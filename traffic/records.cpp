#include "traffic/records.h"

#include <array>
#include <stdexcept>

#include "core/geometry.h"
#include "core/random.h"
#include "liveries/dbase_lookups.h"

namespace {

// Indexed by category: Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
constexpr std::array<CategoryPerformance, 6> kCategoryTable{{
    {250, 250, 100, 200, -9.0, -15.0, 0.15 * DEG_TO_RAD, 0.5, 5.0},
    {300, 300, 200, 250, -8.0, -18.0, 0.1 * DEG_TO_RAD, 0.75, 4.5},
    {400, 350, 200, 300, -6.0, -16.5, 0.07 * DEG_TO_RAD, 0.6, 4.0},
    {450, 450, 250, 400, -5.0, -12.5, 0.05 * DEG_TO_RAD, 0.5, 3.0},
    {150, 150, 100, 200, -6.0, -20.0, 0.1 * DEG_TO_RAD, 1.0, 4.5},
    {100, 100, 100, 100, -20.0, -30.0, 0.2 * DEG_TO_RAD, 0.75, 5.0},
}};

}  // namespace

const CategoryPerformance& gf_categoryPerformance(AircraftCategory category) {
  if (category >= kCategoryTable.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return kCategoryTable[category];
}

ActBase::ActBase(ModelKey&& modelKey) : key(std::move(modelKey)) {
  halfSpan = gf_wingspanOf(key.type);
  category = static_cast<AircraftCategory>(gf_categoryOf(key.type));
  const CategoryPerformance& row = gf_categoryPerformance(category);
  flareTicks = row.flareTicks;
  derotationTicks = row.derotationTicks;
  rotationTicks = row.rotationTicks;
  pitchUpTicks = row.pitchUpTicks;
  rotationPitch = gf_randomPercent(row.rotationPitchDegrees, 2.5) * DEG_TO_RAD;
  climbPitch = gf_randomPercent(row.climbPitchDegrees, 5.0) * DEG_TO_RAD;
}
