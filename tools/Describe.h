#pragma once
// Short descriptions of the driver's codes for people: variable type codes, scaling rules
// and expansion groups of the SNVT catalogue.

#include "snvt/Catalogue.h"
#include "snvt/LonDefines.h"

#include <QString>

QString VariableTypeName(int code);          // "signed 16-bit"; "code 14" outside 0..13
QString ScalingRuleText(ScalingRule rule);   // "÷ 10"; "none"
QString ExpansionText(ExpansionGroup group); // "single", "fields", ...
// A catalogue conversion: "× 0.01", "× 0.1, raw -2740", "names of hvac_t", "none".
QString ConversionText(const SnvtCatalogue::Field &field);
