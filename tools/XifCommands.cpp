// xif show: a device interface file as the driver reads it, without the driver.
#include "tools/CommandContext.h"
#include "tools/ExitCodes.h"
#include "tools/Output.h"

#include "support/Windows1252.h"
#include "xif/DevicePoints.h"
#include "xif/XifParser.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const QStringList kFieldKinds{QStringLiteral("character"), QStringLiteral("int8"), QStringLiteral("int16"),
                              QStringLiteral("bits"), QStringLiteral("block"), QStringLiteral("typeless")};

QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

QString TypeText(int typeNumber)
{
    return typeNumber == 0 ? QStringLiteral("0 (user)") : QString::number(typeNumber);
}

QJsonObject VariableObject(const xif::Variable &v)
{
    QJsonArray fields;
    for (const xif::Field &f : v.fields)
        fields.append(QJsonObject{{QStringLiteral("kind"), kFieldKinds.value(int(f.kind))},
                                  {QStringLiteral("offset"), f.offset},
                                  {QStringLiteral("bitOffset"), f.bitOffset},
                                  {QStringLiteral("size"), f.size},
                                  {QStringLiteral("signed"), f.isSigned},
                                  {QStringLiteral("arrayCount"), f.arrayCount}});
    QJsonObject object{{QStringLiteral("index"), v.index},
                       {QStringLiteral("name"), v.name},
                       {QStringLiteral("direction"), v.output ? QStringLiteral("out") : QStringLiteral("in")},
                       {QStringLiteral("type"), v.typeNumber},
                       {QStringLiteral("size"), v.size},
                       {QStringLiteral("configProperty"), v.configProperty},
                       {QStringLiteral("selfDoc"), FromWindows1252(v.selfDoc)},
                       {QStringLiteral("fields"), fields}};
    if (v.configProperty)
        object.insert(QStringLiteral("initialValue"), Hex(v.initialValue));
    return object;
}

QJsonObject InterfaceObject(const xif::DeviceInterface &d)
{
    QJsonArray variables;
    for (const xif::Variable &v : d.variables)
        variables.append(VariableObject(v));
    QJsonArray tags;
    for (const xif::Tag &t : d.tags)
        tags.append(QJsonObject{{QStringLiteral("index"), t.index}, {QStringLiteral("name"), t.name}});
    QJsonArray files;
    for (const xif::FileRecord &f : d.files)
        files.append(QJsonObject{{QStringLiteral("name"), f.name},
                                 {QStringLiteral("number"), f.number},
                                 {QStringLiteral("kind"), f.kind},
                                 {QStringLiteral("lines"), f.lines.size()}});
    return QJsonObject{{QStringLiteral("file"), d.sourceName},
                       {QStringLiteral("header"), QJsonArray::fromStringList(d.header)},
                       {QStringLiteral("programId"), xif::programIdText(d.programId)},
                       {QStringLiteral("selfDoc"), FromWindows1252(d.selfDoc)},
                       {QStringLiteral("deviceText"), d.selfDocText()},
                       {QStringLiteral("variables"), variables},
                       {QStringLiteral("tags"), tags},
                       {QStringLiteral("files"), files}};
}

void PrintInterface(const xif::DeviceInterface &d)
{
    PrintLine(QStringLiteral("File:        ") + d.sourceName);
    if (!d.header.isEmpty())
        PrintLine(QStringLiteral("Written by:  ") + d.header.first());
    PrintLine(QStringLiteral("Program ID:  ") + xif::programIdText(d.programId));
    if (!d.selfDocText().isEmpty())
        PrintLine(QStringLiteral("Device text: ") + d.selfDocText());
    PrintLine(QStringLiteral("Variables:   %1, message tags: %2, file records: %3")
                  .arg(d.variables.size()).arg(d.tags.size()).arg(d.files.size()));
    PrintLine(QString());
    TTable table({QStringLiteral("INDEX"), QStringLiteral("NAME"), QStringLiteral("DIRECTION"),
                  QStringLiteral("TYPE"), QStringLiteral("SIZE"), QStringLiteral("FIELDS"),
                  QStringLiteral("PROPERTY"), QStringLiteral("INITIAL")});
    for (const xif::Variable &v : d.variables)
        table.AddRow({QString::number(v.index), v.name, v.output ? QStringLiteral("out") : QStringLiteral("in"),
                      TypeText(v.typeNumber), QString::number(v.size), QString::number(v.fields.size()),
                      v.configProperty ? QStringLiteral("yes") : QStringLiteral("no"),
                      v.configProperty ? Hex(v.initialValue) : QString()});
    table.Print();
    for (const xif::Tag &t : d.tags)
        PrintLine(QStringLiteral("Message tag %1: %2").arg(t.index).arg(t.name));
}

} // namespace

int RunXif(TCommandContext &context)
{
    if (context.Arguments.at(0) != QLatin1String("show"))
        throw UsageError(QStringLiteral("unknown xif command \"%1\": lonctl xif show FILE.")
                             .arg(context.Arguments.at(0)));
    const xif::ParseResult parsed = xif::readInterfaceFile(context.Arguments.at(1));
    if (!parsed.interface)
        throw CommandFailed(parsed.error);
    if (context.Json)
        PrintJson(InterfaceObject(*parsed.interface));
    else
        PrintInterface(*parsed.interface);
    return ExitSuccess;
}
