#pragma once
// The matching ladder: one installed livery title for a live or static
// aircraft about to be created, by ever looser questions. Main-loop thread;
// the tables it reads stand before traffic starts.
#include <string>
#include <string_view>

#include "liveries/livery_tables.h"
#include "traffic/act_base.h"

// Once per process: the room of the special list and the category model lists.
void gf_initLiveryMatching();
// airline -> type -> titles, passenger and cargo, from gLiveriesByAirline.
void lf_buildModelAirlineMaps();

// Sets the title (empty when none) and, on a kept title, the FSLTL flag; counts the step.
void gf_matchLiveryLive(ActBase& aircraft);
// What the static ladder reads of a stand: its name and cargo flag. True when
// the aircraft holds a title on return; counts nothing.
bool gf_matchLiveryStatic(ActBase& aircraft, std::string_view standName, bool standCargo);

bool lf_matchRegcode(ActBase& aircraft);
bool lf_matchModelAirline(ActBase& aircraft, const std::string& airline, const std::string& type);
bool lf_matchModel(ActBase& aircraft, const std::string& type);
// A random candidate that is not special; none when all are.
void lf_pickLivery(ActBase& aircraft, const TitleViews& candidates);
