// Lookups in the generated catalogue rows.
#include "snvt/Catalogue.h"

#include "snvt/VariableTypes.h"
#include "support/StrLib.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace SnvtCatalogue {

namespace {

QHash<QString, const Type *> BuildNameIndex()
{
    QHash<QString, const Type *> index;
    for (const Type &type : Types())
        index.insert(QString::fromLatin1(type.name).toLower(), &type);
    return index;
}

} // namespace

const Type *FindType(int number)
{
    const auto types = Types();
    const auto found = std::lower_bound(types.begin(), types.end(), number,
                                        [](const Type &type, int n) { return type.number < n; });
    return found != types.end() && found->number == number ? &*found : nullptr;
}

const Type *FindTypeByName(QStringView name)
{
    static const QHash<QString, const Type *> index = BuildNameIndex();
    QString key = name.trimmed().toString().toLower();
    if (!key.startsWith(u"snvt_"))
        key.prepend(u"snvt_");
    return index.value(key, nullptr);
}

std::span<const Field> FieldsOf(const Type &type)
{
    return Fields().subspan(type.firstField, type.fieldCount);
}

std::span<const EnumMember> MembersOf(int enumeration)
{
    if (enumeration < 0 || enumeration >= int(Enumerations().size()))
        return {};
    const Enumeration &list = Enumerations()[std::size_t(enumeration)];
    return EnumMembers().subspan(list.first, list.count);
}

QString EnumerationName(int enumeration)
{
    if (enumeration < 0 || enumeration >= int(Enumerations().size()))
        return QString();
    return QString::fromLatin1(Enumerations()[std::size_t(enumeration)].name);
}

QString MemberName(int enumeration, qint64 value)
{
    for (const EnumMember &member : MembersOf(enumeration)) {
        if (member.value == value)
            return QString::fromLatin1(member.name);
    }
    return QString();
}

std::optional<int> MemberValue(int enumeration, const QString &text)
{
    const QString trimmed = text.trimmed();
    for (const EnumMember &member : MembersOf(enumeration)) {
        if (trimmed.compare(QLatin1String(member.name), Qt::CaseInsensitive) == 0)
            return member.value;
    }
    qint32 number = 0;
    if (!ParseInteger(trimmed, number))
        return std::nullopt;
    for (const EnumMember &member : MembersOf(enumeration)) {
        if (member.value == number)
            return number;
    }
    return std::nullopt;
}

int CanonicalCode(int code)
{
    return code == VarByte ? VarUnsignedByte : code;
}

const Field *ConversionField(int parameter, int offset, int code)
{
    if (parameter <= HighestOwnRuleType)
        return nullptr;
    const Type *type = FindType(parameter);
    if (!type || type->kind == TypeKind::Unknown)
        return nullptr;
    const auto fields = FieldsOf(*type);
    if (type->kind != TypeKind::Structure)
        return fields.empty() ? nullptr : &fields.front();
    for (const Field &field : fields) {
        if (field.offset == offset && field.code == CanonicalCode(code))
            return &field;
    }
    return nullptr;
}

namespace {

// 10^|exponent|, exact for every exponent the catalogue uses.
double PowerOfTen(int exponent)
{
    double power = 1.0;
    for (int i = 0; i < std::abs(exponent); ++i)
        power *= 10.0;
    return power;
}

} // namespace

// Dividing by an exact power of ten instead of multiplying by its inexact inverse keeps
// 2150 in hundredths 21.5 and 21.5 back 2150.
double ToValue(const Field &field, double raw)
{
    const double steps = field.multiplier * (raw + field.bias);
    const double power = PowerOfTen(field.exponent);
    return field.exponent < 0 ? steps / power : steps * power;
}

double ToRaw(const Field &field, double value)
{
    const double power = PowerOfTen(field.exponent);
    const double steps = field.exponent < 0 ? value * power : value / power;
    return steps / field.multiplier - field.bias;
}

} // namespace SnvtCatalogue
