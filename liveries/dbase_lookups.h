#pragma once
// Read-only queries of the aircraft and airline data base; callable from any
// thread once the data base is read.
#include <string>

// Size category 0..5 of a model (0 Light when the model is in no category set).
int gf_categoryOf(const std::string& model);
// Half the wing span of a model in nautical miles; its category's mean when unknown.
double gf_wingspanOf(const std::string& model);
