// decode and encode: a point's field read out of, or written into, a variable's bytes
// offline, with the same conversions the driver uses.
#include "tools/CommandContext.h"
#include "tools/Describe.h"
#include "tools/ExitCodes.h"
#include "tools/HexText.h"
#include "tools/Output.h"
#include "tools/PointArguments.h"

#include "snvt/FieldDecoder.h"
#include "snvt/FieldEncoder.h"
#include "snvt/VariableTypes.h"
#include "support/StrLib.h"

#include <QJsonObject>

namespace {

// The largest network variable: the driver's value buffer holds 228 bytes.
constexpr int kMaxVariableBytes = 228;

QByteArray RequireBytes(const QStringList &pieces)
{
    QByteArray bytes;
    QString bad;
    if (!ParseHexBytes(pieces.join(u' '), bytes, bad))
        throw UsageError(QStringLiteral("HEXBYTES must be pairs of hexadecimal digits such as "
                                        "\"41 AC 00 00\"; \"%1\" is not.")
                             .arg(bad));
    if (bytes.isEmpty())
        throw UsageError(QStringLiteral("HEXBYTES is empty: give the variable's bytes."));
    if (bytes.size() > kMaxVariableBytes)
        throw UsageError(QStringLiteral("HEXBYTES has %1 bytes; a network variable holds at most %2.")
                             .arg(bytes.size()).arg(kMaxVariableBytes));
    return bytes;
}

QString FieldText(const PointAddress &address)
{
    return QStringLiteral("field at offset %1 (%2)").arg(address.VariableOffset)
        .arg(VariableTypeName(address.VariableType));
}

void RequireFieldInside(const PointAddress &address, const QByteArray &bytes)
{
    const int width = FieldWidth(address.VariableType);
    if (width > 0 && !FieldFits(bytes.size(), bytes.size(), address.VariableOffset, width))
        throw CommandFailed(QStringLiteral("the %1 (%2 bytes) lies outside the %3 bytes given.")
                                .arg(FieldText(address)).arg(width).arg(bytes.size()));
}

} // namespace

int RunDecode(TCommandContext &context)
{
    const QString addressText = context.Arguments.at(0);
    const PointAddress address = RequireAddress(addressText, false);
    const QByteArray bytes = RequireBytes(context.Arguments.mid(1));
    RequireFieldInside(address, bytes);

    QString value = DecodeField(bytes, int(bytes.size()), address.VariableOffset,
                                address.VariableType, address.Parameter, context.Fahrenheit);
    // As the poller does: a scaled point is read as a number and divided by its scale.
    if (address.Scale != 0.0)
        value = FormatFixed(ScaleNumber(value) / address.Scale, 4);

    if (context.Json) {
        PrintJson(QJsonObject{{QStringLiteral("address"), addressText},
                              {QStringLiteral("bytes"), FormatHexBytes(bytes)},
                              {QStringLiteral("field"), VariableTypeName(address.VariableType)},
                              {QStringLiteral("value"), value}});
    } else {
        PrintLine(value);
    }
    return ExitSuccess;
}

int RunEncode(TCommandContext &context)
{
    const QString addressText = context.Arguments.at(0);
    const PointAddress address = RequireAddress(addressText, false);
    if (address.HasObject)
        throw UsageError(QStringLiteral("\"%1\" names the device object %2: object points are "
                                        "written as an object command (`lonctl write ADDRESS "
                                        "--object-value V`), not into the variable's bytes.")
                             .arg(addressText, address.ObjectName));
    const QString value = context.Arguments.at(1);
    if (value.isEmpty())
        throw UsageError(QStringLiteral("VALUE is empty: give the value to write."));
    RequireWritableNumber(address, value);
    const QByteArray before = RequireBytes(context.Arguments.mid(2));
    if (address.VariableType == VarOpaque)
        throw CommandFailed(QStringLiteral("variable type 8 (not decoded) is never written."));
    RequireFieldInside(address, before);

    // As a write does: the driver's encoder, a scaled point's value multiplied by its scale.
    QByteArray after = before;
    const EncodeResult encoded = EncodeField(value, after, int(after.size()), address.VariableOffset,
                                             address.VariableType, address.Parameter, context.Fahrenheit,
                                             address.Scale);
    if (!encoded)
        throw CommandFailed(QStringLiteral("\"%1\" cannot be written into the %2 with parameter %3: %4")
                                .arg(value, FieldText(address)).arg(address.Parameter).arg(encoded.Reason));

    if (context.Json) {
        PrintJson(QJsonObject{{QStringLiteral("address"), addressText},
                              {QStringLiteral("value"), value},
                              {QStringLiteral("before"), FormatHexBytes(before)},
                              {QStringLiteral("bytes"), FormatHexBytes(after)}});
    } else {
        PrintLine(FormatHexBytes(after));
    }
    return ExitSuccess;
}
