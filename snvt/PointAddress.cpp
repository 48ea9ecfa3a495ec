#include "snvt/PointAddress.h"

#include "support/StrLib.h"

namespace {

// Takes the text before the first separator off the front of rest (all of rest when
// there is none), together with the separator.
QString TakeField(QString &rest, QChar separator)
{
    const qsizetype at = rest.indexOf(separator);
    if (at < 0) {
        QString field = rest;
        rest.clear();
        return field;
    }
    QString field = rest.left(at);
    rest.remove(0, at + 1);
    return field;
}

} // namespace

bool ParsePointAddress(const QString &text, PointAddress &address)
{
    address = PointAddress();
    QString rest = text;
    qint32 *const integers[] = {&address.Domain,         &address.Subnet,
                                &address.Node,           &address.VariableIndex,
                                &address.SnvtType,       &address.VariableOffset,
                                &address.VariableType,   &address.Parameter};
    for (int i = 0; i < 8; ++i) {
        // The eighth field runs to the first ",", so a ninth ":" field makes it malformed.
        const QString field = TakeField(rest, i < 7 ? u':' : u',');
        if (!ParseInteger(field, *integers[i]))
            return false;
    }

    rest = TrimLeadingBlanks(rest);
    if (rest.isEmpty())
        return true;
    address.Scale = ScaleNumber(TakeField(rest, u','));

    rest = TrimLeadingBlanks(rest);
    const QString object = TakeField(rest, u',');
    if (object.left(2).toUpper() == u"D-") {
        address.ObjectName = FirstChars(TextAfter(object, QStringLiteral("-")),
                                        PointObjectNameLength);
        address.HasObject = true;
    }
    return true;
}

QString PointValueKey(const QString &address)
{
    return TextBeforeNth(address, u':', 4);
}

double ScaleNumber(const QString &text)
{
    return ReadFlagOrDouble(text);
}
