#pragma once
// Lookups in the standard type catalogue (CatalogueData.h): a type by number or name, the
// values of a type, enumeration members, and the conversion a point's parameter selects.
//
// Types 0..HighestOwnRuleType keep the driver's own units, expansions and scaling rules
// (LonDefines.h, FieldLayouts.h); the catalogue gives them names, sizes and ranges. Above
// that, the catalogue alone says how a variable is read and written: a point's parameter
// (address field 8) names the type whose conversion applies, and for a structure the field
// at the point's offset that its variable type code reads.

#include "snvt/CatalogueData.h"

#include <QString>
#include <QStringView>

#include <optional>

inline constexpr int HighestOwnRuleType = 122;
// The highest type number the catalogue knows; address fields 5 and 8 go up to it.
inline constexpr int HighestSnvtNumber = 225;

namespace SnvtCatalogue {

// nullptr for a number the catalogue does not know (0, the unassigned ones, out of range).
const Type *FindType(int number);
// By name, in any case, with or without "SNVT_": "SNVT_temp_p", "temp_p".
const Type *FindTypeByName(QStringView name);
std::span<const Field> FieldsOf(const Type &type);
std::span<const EnumMember> MembersOf(int enumeration);
QString EnumerationName(int enumeration);

// The member's name of an enumeration value; empty when the value has none.
QString MemberName(int enumeration, qint64 value);
// The value a member's name (in any case) or a member's number stands for.
std::optional<int> MemberValue(int enumeration, const QString &text);

// The catalogue's conversion for a point: nullptr when its parameter is at most
// HighestOwnRuleType (the driver's own rules apply), names no catalogue type, or names a
// structure with no field at this offset read by this code. A scalar type's conversion
// applies at any offset.
const Field *ConversionField(int parameter, int offset, int code);

// Raw number to engineering value, and back (not rounded: an integer field takes the
// nearest raw step).
double ToValue(const Field &field, double raw);
double ToRaw(const Field &field, double value);

// The variable type code that reads a field the way `code` does (0 and 1 both read an
// unsigned byte).
int CanonicalCode(int code);

} // namespace SnvtCatalogue
