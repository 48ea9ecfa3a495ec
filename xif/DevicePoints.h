#pragma once
// The point entries of one discovered device, from what the device itself reports (its
// variables' indexes, types and names), its template (the device interface file with its
// program ID) and the type file. The device's answers stay authoritative: only variables
// the device reports get entries, and a name or type the device gives is kept. The
// template supplies what the device leaves out: names, the type of a variable the device
// calls non-standard (0), the direction, and the field layout of a type the catalogue
// cannot expand; the type file names, scales and lays out user-defined types.

#include "xif/TemplateCatalogue.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace xif {

struct ReportedVariable {
    int index = 0;       // the variable index (of this element)
    int typeNumber = 0;
    QString name;        // empty: the device documents no name
    int element = -1;    // the element of an array variable, -1 for a plain variable
    int firstIndex = -1; // an element's array starts here; -1: index
    int arrayIndex() const { return firstIndex < 0 ? index : firstIndex; }
};

struct DeviceReport {
    QString address;                      // "domain:subnet:node"
    std::optional<ProgramId> programId;
    QList<ReportedVariable> variables;
};

// One point of a variable before it becomes an entry line.
struct FieldPoint {
    QString suffix;      // ".Field2", ".Level", or empty: the variable's name alone
    int offset = 0;
    int variableType = 0;
    int parameter = 0;
    int kind = 0;        // PointKind
    QString units;
    double factor = 0;   // value = raw × factor; 0: none
};

// The raw points of a variable from its field lines: numbers with their width and sign,
// bit fields by mask, texts, blocks as undecoded points. A single point is named by the
// variable alone, several ".Field1", ".Field2", ... (".Field3[0]" for array items).
QList<FieldPoint> rawFieldPoints(const Variable &variable);

// The points of a variable of a type-file type: the type's own layout, or the raw points
// named, scaled and given units in order. nullopt when the type does not fit the
// variable (another size, or a different number of fields), with why.
std::optional<QList<FieldPoint>> typedFieldPoints(const TypeDefinition &type, const Variable *variable,
                                                  QString &why);

// The name discovery shows for a variable: the device's, else the template's, else
// "NoName<index>"; an array element's with "[element]" and its array's first index.
QString variableName(const ReportedVariable &reported, const Template *tmpl);

// Appends the entries of one reported variable; returns the name it was given.
QString expandVariable(const DeviceReport &device, const ReportedVariable &reported, const Template *tmpl,
                       const TypeFile &types, bool tempsInF, QStringList &entries);

// An entry line for a field point of the variable at `prefix` (the first five address
// fields, each followed by ":"): a point with a factor carries the scale field (1/factor).
QString fieldPointEntry(const QString &prefix, const FieldPoint &point, const QString &variableName);

// The entry with its fourth field set to TRUE (writable) or FALSE.
QString withWritable(const QString &entry, bool writable);

} // namespace xif
