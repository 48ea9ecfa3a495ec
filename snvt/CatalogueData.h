#pragma once
// The standard type catalogue as rows: every type number with its name, kind and size; the
// values inside a variable of the type (the whole value of a scalar type, each field of a
// structure), each with where it sits, how its bytes are read, how raw numbers become
// engineering values, its range and units; and the members of the enumerations.
// CatalogueData.cpp is generated from snvt/catalogue/snvt-catalogue.json by
// scripts/gen-snvt-catalogue.py; the rows never change while the program runs.

#include <QtGlobal>

#include <span>

namespace SnvtCatalogue {

enum class TypeKind : quint8 { Scaled, Float, Enumeration, Structure, Unknown };

struct EnumMember
{
    qint16 value;
    const char *name;         // "HVAC_AUTO"
};

struct Enumeration
{
    const char *name;         // "hvac_t"
    quint16 first;            // index of its first member in EnumMembers()
    quint16 count;
};

// One value inside a variable. Multi-byte values are big-endian.
struct Field
{
    const char *path;         // "" for a scalar type's whole value; "chlr_state.in_alarm",
                              // "data_a[3]" inside a structure
    quint16 offset;           // bytes from the start of the variable
    quint8 code;              // variable type code (VariableTypes.h) that reads its bytes
    quint16 extent;           // the bit mask of a bit field, the length of a text; else 0
    qint8 multiplier;         // engineering value = multiplier * 10^exponent * (raw + bias)
    qint8 exponent;
    qint32 bias;
    double min;               // engineering values; NaN where the catalogue gives none
    double max;
    double invalid;           // the value that means "no data"; NaN when none
    const char16_t *units;    // empty where the value has no physical unit
    qint16 enumeration;       // index into Enumerations(); -1 when the value is no enumeration
    qint16 reuses;            // the number of the standard type the field reuses; 0 for none
    bool boolean;             // a one-bit flag, or a field the catalogue calls boolean
};

struct Type
{
    qint16 number;
    const char *name;         // "SNVT_temp_p"
    TypeKind kind;
    qint16 size;              // bytes on the network; -1 when not known
    bool obsolete;
    quint16 firstField;       // its values in Fields(); none for a type known by name only
    quint16 fieldCount;
};

std::span<const Type> Types();               // by number, ascending
std::span<const Field> Fields();
std::span<const Enumeration> Enumerations();
std::span<const EnumMember> EnumMembers();

} // namespace SnvtCatalogue
