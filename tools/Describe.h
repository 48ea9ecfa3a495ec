#pragma once
// Short descriptions of the driver's codes for people: variable type codes, scaling rules
// and expansion groups of the SNVT catalogue.

#include "snvt/LonDefines.h"

#include <QString>

QString VariableTypeName(int code);          // "signed 16-bit"; "code 12" outside 0..11
QString ScalingRuleText(ScalingRule rule);   // "÷ 10"; "none"
QString ExpansionText(ExpansionGroup group); // "single", "fields", ...
