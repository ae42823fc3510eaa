#pragma once
// Beside the refused titles: the type and operator of each aircraft whose
// livery the simulator refused, one line per refusal, kept for the whole
// process. Live traffic appends (main loop); the livery summary at exit reads
// them through gf_creationFailureList (liveries/uncreatable_titles.h), which
// lists each type and operator once, sorted, indented by two blanks.
#include <string>

void gf_noteUncreatableModel(std::string typeAndOperator);
