#include "xif/TypeFile.h"

#include "support/JsonRules.h"
#include "xif/XifParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace xif {

namespace {

using jsonrules::refuse;

bool isIdentifier(const QString &text, int longest)
{
    if (text.isEmpty() || text.size() > longest)
        return false;
    for (QChar c : text)
        if (!(c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_')))
            return false;
    return true;
}

QString requiredText(const QJsonObject &o, const QString &key, const QString &where)
{
    const QJsonValue v = o.value(key);
    if (!v.isString())
        refuse(QStringLiteral("%1: \"%2\" must be a text").arg(where, key));
    return v.toString();
}

std::optional<FieldFormat> formatNamed(const QString &name)
{
    static const QHash<QString, FieldFormat> formats{
        {QStringLiteral("u8"), FieldFormat::U8},     {QStringLiteral("s8"), FieldFormat::S8},
        {QStringLiteral("u16"), FieldFormat::U16},   {QStringLiteral("s16"), FieldFormat::S16},
        {QStringLiteral("s32"), FieldFormat::S32},   {QStringLiteral("u32"), FieldFormat::U32},
        {QStringLiteral("f32"), FieldFormat::F32},
        {QStringLiteral("text"), FieldFormat::Text}, {QStringLiteral("bits"), FieldFormat::Bits}};
    const auto it = formats.find(name);
    return it == formats.end() ? std::nullopt : std::optional<FieldFormat>(*it);
}

int formatWidth(const TypeField &f)
{
    switch (f.format) {
    case FieldFormat::U8: case FieldFormat::S8: case FieldFormat::Bits: return 1;
    case FieldFormat::U16: case FieldFormat::S16: return 2;
    case FieldFormat::S32: case FieldFormat::U32: case FieldFormat::F32: return 4;
    case FieldFormat::Text: return f.length;
    }
    return 1;
}

TypeField readField(const QJsonValue &value, const QString &where)
{
    if (!value.isObject())
        refuse(where + QStringLiteral(": a field must be an object"));
    const QJsonObject o = value.toObject();
    jsonrules::onlyKeys(o, {QStringLiteral("name"), QStringLiteral("factor"), QStringLiteral("units"),
                            QStringLiteral("offset"), QStringLiteral("format"), QStringLiteral("length"),
                            QStringLiteral("mask")}, where);
    TypeField f;
    f.name = requiredText(o, QStringLiteral("name"), where);
    if (!isIdentifier(f.name, MaxFieldNameLength))
        refuse(QStringLiteral("%1: the name \"%2\" must be 1 to %3 letters, digits and \"_\"")
                   .arg(where, f.name).arg(MaxFieldNameLength));
    if (o.contains(QStringLiteral("factor"))) {
        const QJsonValue v = o.value(QStringLiteral("factor"));
        f.factor = v.toDouble();
        if (!v.isDouble() || f.factor == 0 || !std::isfinite(f.factor) || std::abs(f.factor) < 1e-12
            || std::abs(f.factor) > 1e12)
            refuse(where + QStringLiteral(": \"factor\" must be a number other than 0 (1e-12 to 1e12 in size)"));
    }
    if (o.contains(QStringLiteral("units"))) {
        f.units = requiredText(o, QStringLiteral("units"), where);
        if (f.units.size() > MaxUnitsLength || f.units.contains(u'{') || f.units.contains(u'}'))
            refuse(QStringLiteral("%1: \"units\" is at most %2 characters, without braces").arg(where).arg(MaxUnitsLength));
    }
    f.hasLayout = o.contains(QStringLiteral("offset")) || o.contains(QStringLiteral("format"));
    if (!f.hasLayout) {
        if (o.contains(QStringLiteral("length")) || o.contains(QStringLiteral("mask")))
            refuse(where + QStringLiteral(": \"length\" and \"mask\" go with \"offset\" and \"format\""));
        return f;
    }
    f.offset = jsonrules::number(o.value(QStringLiteral("offset")), 0, MaxVariableBytes - 1, where + QStringLiteral(".offset"));
    const auto format = formatNamed(requiredText(o, QStringLiteral("format"), where));
    if (!format)
        refuse(where + QStringLiteral(": \"format\" must be u8, s8, u16, s16, s32, u32, f32, text or bits"));
    f.format = *format;
    if (f.format == FieldFormat::Text)
        f.length = jsonrules::number(o.value(QStringLiteral("length")), 1, MaxVariableBytes, where + QStringLiteral(".length"));
    else if (o.contains(QStringLiteral("length")))
        refuse(where + QStringLiteral(": \"length\" is for text fields"));
    if (f.format == FieldFormat::Bits)
        f.mask = jsonrules::number(o.value(QStringLiteral("mask")), 1, 255, where + QStringLiteral(".mask"));
    else if (o.contains(QStringLiteral("mask")))
        refuse(where + QStringLiteral(": \"mask\" is for bits fields"));
    if ((f.format == FieldFormat::Text || f.format == FieldFormat::Bits) && f.factor != 0)
        refuse(where + QStringLiteral(": text and bits fields take no \"factor\""));
    if (f.offset + formatWidth(f) > MaxVariableBytes)
        refuse(QStringLiteral("%1: the field ends past byte %2").arg(where).arg(MaxVariableBytes));
    return f;
}

TypeDefinition readType(const QString &name, const QJsonValue &value, const QString &where)
{
    if (!isIdentifier(name, MaxFieldNameLength))
        refuse(QStringLiteral("%1: the type name must be 1 to %2 letters, digits and \"_\"").arg(where).arg(MaxFieldNameLength));
    if (!value.isObject())
        refuse(where + QStringLiteral(": a type must be an object"));
    const QJsonObject o = value.toObject();
    jsonrules::onlyKeys(o, {QStringLiteral("size"), QStringLiteral("fields")}, where);
    TypeDefinition t;
    t.name = name;
    if (o.contains(QStringLiteral("size")))
        t.size = jsonrules::number(o.value(QStringLiteral("size")), 1, MaxVariableBytes, where + QStringLiteral(".size"));
    const QJsonArray fields = o.value(QStringLiteral("fields")).toArray();
    if (fields.isEmpty() || fields.size() > MaxTypeFields)
        refuse(QStringLiteral("%1: \"fields\" must list 1 to %2 fields").arg(where).arg(MaxTypeFields));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString at = QStringLiteral("%1.fields[%2]").arg(where).arg(i);
        t.fields.append(readField(fields.at(i), at));
        if (t.fields.last().hasLayout != t.fields.first().hasLayout)
            refuse(at + QStringLiteral(": either every field of a type gives \"offset\" and \"format\", or none"));
        if (t.size > 0 && t.fields.last().hasLayout && t.fields.last().offset + formatWidth(t.fields.last()) > t.size)
            refuse(QStringLiteral("%1: the field ends past the type's %2 bytes").arg(at).arg(t.size));
        for (qsizetype k = 0; k < i; ++k)
            if (t.fields.at(k).name == t.fields.last().name)
                refuse(QStringLiteral("%1: two fields are named %2").arg(at, t.fields.last().name));
    }
    return t;
}

std::optional<ProgramId> parseProgramId(const QString &text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 8)
        return std::nullopt;
    ProgramId id{};
    for (int i = 0; i < 8; ++i) {
        bool ok = false;
        const uint value = parts.at(i).toUInt(&ok, 16);
        if (!ok || parts.at(i).size() != 2 || value > 255)
            return std::nullopt;
        id[std::size_t(i)] = uint8_t(value);
    }
    return id;
}

QString bindingKey(const std::optional<ProgramId> &id, const QString &variable, int index)
{
    const QString device = id ? programIdText(*id) : QStringLiteral("*");
    return variable.isEmpty() ? device + u'#' + QString::number(index) : device + u'/' + variable;
}

TypeBinding readBinding(const QJsonValue &value, const QString &where, const QHash<QString, TypeDefinition> &types)
{
    if (!value.isObject())
        refuse(where + QStringLiteral(": a variable entry must be an object"));
    const QJsonObject o = value.toObject();
    jsonrules::onlyKeys(o, {QStringLiteral("programId"), QStringLiteral("variable"), QStringLiteral("type")}, where);
    TypeBinding b;
    if (o.contains(QStringLiteral("programId"))) {
        b.programId = parseProgramId(requiredText(o, QStringLiteral("programId"), where));
        if (!b.programId)
            refuse(where + QStringLiteral(": \"programId\" must be eight hex bytes such as 9F:FF:FF:05:01:84:04:60"));
    }
    const QJsonValue variable = o.value(QStringLiteral("variable"));
    if (variable.isString()) {
        b.variable = variable.toString();
        if (!isIdentifier(b.variable, MaxNameLength))
            refuse(where + QStringLiteral(": \"variable\" must be a variable's name or index"));
    } else {
        b.index = jsonrules::number(variable, 0, MaxVariables - 1, where + QStringLiteral(".variable"));
        if (!b.programId)
            refuse(where + QStringLiteral(": a variable given by index needs \"programId\""));
    }
    b.type = requiredText(o, QStringLiteral("type"), where);
    if (!types.contains(b.type))
        refuse(QStringLiteral("%1: no type is named \"%2\"").arg(where, b.type));
    return b;
}

} // namespace

TypeFile TypeFile::parse(QByteArrayView json, const QString &sourceName, QString &error)
{
    TypeFile file;
    try {
        if (json.size() > MaxTypeFileBytes)
            refuse(QStringLiteral("larger than %1 bytes").arg(MaxTypeFileBytes));
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &parseError);
        if (parseError.error != QJsonParseError::NoError)
            refuse(QStringLiteral("not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString()));
        if (!doc.isObject())
            refuse(QStringLiteral("the type file must be a JSON object"));
        const QJsonObject top = doc.object();
        jsonrules::onlyKeys(top, {QStringLiteral("types"), QStringLiteral("variables")}, QStringLiteral("top level"));
        const QJsonObject types = top.value(QStringLiteral("types")).toObject();
        if (types.size() > MaxTypeDefinitions)
            refuse(QStringLiteral("more than %1 types").arg(MaxTypeDefinitions));
        for (auto it = types.begin(); it != types.end(); ++it)
            file.m_types.insert(it.key(), readType(it.key(), it.value(), QStringLiteral("types.") + it.key()));
        const QJsonArray bindings = top.value(QStringLiteral("variables")).toArray();
        if (bindings.size() > MaxTypeBindings)
            refuse(QStringLiteral("more than %1 variable entries").arg(MaxTypeBindings));
        QHash<QString, int> seen;
        for (qsizetype i = 0; i < bindings.size(); ++i) {
            const QString where = QStringLiteral("variables[%1]").arg(i);
            const TypeBinding b = readBinding(bindings.at(i), where, file.m_types);
            const QString key = bindingKey(b.programId, b.variable, b.index);
            if (seen.contains(key))
                refuse(QStringLiteral("%1: the same variable as variables[%2]").arg(where).arg(seen.value(key)));
            seen.insert(key, int(i));
            file.m_bindings.append(b);
        }
        file.rebuildIndex();
    } catch (const jsonrules::Refusal &refusal) {
        error = sourceName + QStringLiteral(": ") + refusal.why;
        return TypeFile();
    }
    return file;
}

void TypeFile::addMissing(const TypeFile &other)
{
    for (auto it = other.m_types.begin(); it != other.m_types.end(); ++it)
        if (!m_types.contains(it.key()))
            m_types.insert(it.key(), it.value());
    for (const TypeBinding &b : other.m_bindings)
        if (!m_index.contains(bindingKey(b.programId, b.variable, b.index)))
            m_bindings.append(b);
    rebuildIndex();
}

void TypeFile::rebuildIndex()
{
    m_index.clear();
    for (const TypeBinding &b : std::as_const(m_bindings))
        m_index.insert(bindingKey(b.programId, b.variable, b.index), b.type);
}

const TypeDefinition *TypeFile::typeFor(const ProgramId &programId, const QString &variable, int index) const
{
    for (const QString &key : {bindingKey(programId, variable, -1), bindingKey(programId, QString(), index),
                               bindingKey(std::nullopt, variable, -1)}) {
        const auto it = m_index.find(key);
        if (it != m_index.end()) {
            const auto type = m_types.find(*it);
            return type == m_types.end() ? nullptr : &*type;
        }
    }
    return nullptr;
}

} // namespace xif
