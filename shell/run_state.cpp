#include "shell/run_state.h"

#include "traffic/user_aircraft.h"

std::atomic<bool> gExitStarted{false};
std::atomic<bool> gStopRequested{false};
std::atomic<bool> gFlightRunning{false};
std::atomic<bool> gSecondTick{false};
std::atomic<bool> gUserStateKnown{false};
std::atomic<bool> gUserOnGround{false};
std::atomic<std::int64_t> gSimTime{0};
std::atomic<bool> gStartupPhase{true};
std::atomic<ExitReason> gExitReason{ExitReason::NOT_YET_SET};
std::atomic<bool> gRestart{false};
std::atomic<std::uint32_t> gRunGeneration{0};

UserAc gUserAc;
