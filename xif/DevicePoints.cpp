#include "xif/DevicePoints.h"

#include "snvt/LonDefines.h"
#include "snvt/PointExpansion.h"
#include "snvt/VariableTypes.h"
#include "xif/XifLog.h"

#include <QLocale>

namespace xif {

namespace {

QString fieldSuffix(int field, int element)
{
    QString suffix = QStringLiteral(".Field") + QString::number(field);
    if (element >= 0)
        suffix += u'[' + QString::number(element) + u']';
    return suffix;
}

int formatCode(FieldFormat format)
{
    switch (format) {
    case FieldFormat::U8: return VarUnsignedByte;
    case FieldFormat::S8: return VarSignedByte;
    case FieldFormat::U16: return VarUnsigned16;
    case FieldFormat::S16: return VarSigned16;
    case FieldFormat::S32: return VarSigned32;
    case FieldFormat::U32: return VarUnsigned32;
    case FieldFormat::F32: return VarFloat;
    case FieldFormat::Text: return VarText;
    case FieldFormat::Bits: return VarBitField;
    }
    return VarOpaque;
}

FieldPoint laidOutPoint(const TypeField &f)
{
    FieldPoint p;
    p.suffix = u'.' + f.name;
    p.offset = f.offset;
    p.variableType = formatCode(f.format);
    p.parameter = f.format == FieldFormat::Text ? f.length : f.format == FieldFormat::Bits ? f.mask : 0;
    p.kind = f.format == FieldFormat::Text ? KindString
             : f.format == FieldFormat::Bits && (f.mask & (f.mask - 1)) == 0 ? KindDigital
                                                                              : KindAnalog;
    p.units = f.units;
    p.factor = f.factor;
    return p;
}

// The size of a type that lays itself out: the end of its last-ending field.
int laidOutSize(const TypeDefinition &type)
{
    int end = 0;
    for (const TypeField &f : type.fields) {
        const int width = f.format == FieldFormat::Text ? f.length
                          : f.format == FieldFormat::S32 || f.format == FieldFormat::U32 || f.format == FieldFormat::F32 ? 4
                          : f.format == FieldFormat::U16 || f.format == FieldFormat::S16 ? 2
                                                                                          : 1;
        end = std::max(end, f.offset + width);
    }
    return end;
}

} // namespace

QList<FieldPoint> rawFieldPoints(const Variable &variable)
{
    QList<FieldPoint> points;
    for (qsizetype i = 0; i < variable.fields.size(); ++i) {
        const Field &f = variable.fields.at(i);
        const int number = int(i) + 1;
        const int items = std::max(1, f.arrayCount);
        const bool array = f.arrayCount > 0;
        switch (f.kind) {
        case FieldKind::Character:
            if (array) {
                points.append({fieldSuffix(number, -1), f.offset, VarText, f.arrayCount, KindString, {}, 0});
                break;
            }
            [[fallthrough]];
        case FieldKind::Integer8:
            for (int j = 0; j < items; ++j)
                points.append({fieldSuffix(number, array ? j : -1), f.offset + j,
                               f.isSigned ? VarSignedByte : VarUnsignedByte, 0, KindAnalog, {}, 0});
            break;
        case FieldKind::Integer16:
            for (int j = 0; j < items; ++j)
                points.append({fieldSuffix(number, array ? j : -1), f.offset + 2 * j,
                               f.isSigned ? VarSigned16 : VarUnsigned16, 0, KindAnalog, {}, 0});
            break;
        case FieldKind::BitField: {
            const int mask = ((1 << f.size) - 1) << (8 - f.bitOffset - f.size);
            points.append({fieldSuffix(number, -1), f.offset, VarBitField, mask & 0xFF,
                           f.size == 1 ? KindDigital : KindAnalog, {}, 0});
            break;
        }
        case FieldKind::Block: case FieldKind::Typeless:
            points.append({fieldSuffix(number, -1), f.offset, VarOpaque, 0, KindString, {}, 0});
            break;
        }
    }
    if (points.size() == 1)
        points.first().suffix.clear();
    return points;
}

std::optional<QList<FieldPoint>> typedFieldPoints(const TypeDefinition &type, const Variable *variable,
                                                  QString &why)
{
    QList<FieldPoint> points;
    if (type.laysOut()) {
        const int size = variable ? variable->size : 0;
        if (size > 0 && laidOutSize(type) > size) {
            why = QStringLiteral("the type %1 needs %2 bytes; the variable has %3").arg(type.name).arg(laidOutSize(type)).arg(size);
            return std::nullopt;
        }
        for (const TypeField &f : type.fields)
            points.append(laidOutPoint(f));
        return points;
    }
    if (!variable) {
        why = QStringLiteral("the type %1 gives no layout and no template gives the variable's fields").arg(type.name);
        return std::nullopt;
    }
    if (type.size > 0 && type.size != variable->size) {
        why = QStringLiteral("the type %1 has %2 bytes; the variable has %3").arg(type.name).arg(type.size).arg(variable->size);
        return std::nullopt;
    }
    points = rawFieldPoints(*variable);
    if (points.size() != type.fields.size()) {
        why = QStringLiteral("the type %1 names %2 fields; the variable's field lines give %3")
                  .arg(type.name).arg(type.fields.size()).arg(points.size());
        return std::nullopt;
    }
    for (qsizetype i = 0; i < points.size(); ++i) {
        const TypeField &f = type.fields.at(i);
        points[i].suffix = u'.' + f.name;
        points[i].units = f.units;
        points[i].factor = points[i].variableType == VarText || points[i].variableType == VarBitField
                                   || points[i].variableType == VarOpaque
                               ? 0
                               : f.factor;
    }
    return points;
}

QString variableName(const ReportedVariable &reported, const Template *tmpl)
{
    QString name = reported.name;
    if (name.isEmpty()) {
        const Variable *v = tmpl ? tmpl->interface.variableAt(reported.arrayIndex()) : nullptr;
        name = v ? v->name : QStringLiteral("NoName") + QString::number(reported.arrayIndex());
    }
    if (reported.element >= 0)
        name += u'[' + QString::number(reported.element) + u']';
    return name;
}

QString fieldPointEntry(const QString &prefix, const FieldPoint &point, const QString &variableName)
{
    QString entry = BuildPointEntry(prefix, point.offset, point.variableType, point.parameter,
                                    variableName + point.suffix, point.units, point.kind);
    if (point.factor != 0) {
        // Values read are divided by the address's scale: 1/factor. Written in the host's
        // number format, which is how the driver reads the field back.
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        entry.insert(entry.indexOf(u'}'), u',' + locale.toString(1.0 / point.factor, 'g', 15));
    }
    return entry;
}

QString withWritable(const QString &entry, bool writable)
{
    // {address}{name}{units}{TRUE|FALSE}{kind}{Variable}: the third group from the end.
    qsizetype open = entry.size();
    for (int group = 0; group < 3 && open > 0; ++group)
        open = entry.lastIndexOf(u'{', open - 1);
    const qsizetype close = open >= 0 ? entry.indexOf(u'}', open) : -1;
    if (open < 0 || close < 0)
        return entry;
    return entry.left(open + 1) + (writable ? u"TRUE" : u"FALSE") + entry.mid(close);
}

QString expandVariable(const DeviceReport &device, const ReportedVariable &reported, const Template *tmpl,
                       const TypeFile &types, bool tempsInF, QStringList &entries)
{
    const Variable *described = tmpl ? tmpl->interface.variableAt(reported.arrayIndex()) : nullptr;
    const QString name = variableName(reported, tmpl);
    // The device's own type, unless it calls the variable non-standard and the template
    // knows better.
    const int typeNumber = reported.typeNumber != 0 || !described ? reported.typeNumber : described->typeNumber;
    // The template's layout only for the type it describes.
    const Variable *layout = described && described->typeNumber == typeNumber ? described : nullptr;
    // A type-file entry names the variable as the device or the template does.
    const QString bindingName = !reported.name.isEmpty() ? reported.name : described ? described->name : QString();
    const QStringList address = device.address.split(u':');
    const QString prefix = device.address + u':' + QString::number(reported.index) + u':'
                           + QString::number(typeNumber) + u':';
    const qsizetype before = entries.size();

    const TypeDefinition *userType = typeNumber == 0 && device.programId
                                         ? types.typeFor(*device.programId, bindingName, reported.index)
                                         : nullptr;
    bool done = false;
    if (userType) {
        QString why;
        if (const auto points = typedFieldPoints(*userType, layout, why)) {
            for (const FieldPoint &p : *points)
                entries.append(fieldPointEntry(prefix, p, name));
            done = true;
        } else {
            qCWarning(lcXif).noquote() << "type file not applied to" << device.address << name << ":" << why;
        }
    }
    if (!done) {
        ExpandNetworkVariable({address.value(0), address.value(1), address.value(2), QString::number(reported.index),
                               QString::number(typeNumber), name},
                              entries, tempsInF);
    }
    // A type the catalogue does not expand: the template's field lines.
    if (!done && entries.size() == before && layout) {
        for (const FieldPoint &p : rawFieldPoints(*layout))
            entries.append(fieldPointEntry(prefix, p, name));
    }
    if (described) {
        for (qsizetype i = before; i < entries.size(); ++i)
            entries[i] = withWritable(entries.at(i), !described->output);
    }
    return name;
}

} // namespace xif
