#include "liveries/uncreatable_titles.h"

std::set<std::string, std::less<>> gUncreatableTitles;
