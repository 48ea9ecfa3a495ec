#include "automation/BusVariant.h"

#include "site/DriverLimits.h"

#include <QDBusArgument>
#include <QStringList>

namespace {

using namespace DriverLimits;

void CheckEntryLength(const QString &entry)
{
    if (entry.size() > kMaxEntryLength)
        throw TLimitExceeded("characters per request entry", kMaxEntryLength);
}

void CheckEntryCount(qsizetype count)
{
    if (count > kMaxRequestEntries)
        throw TLimitExceeded("entries per request", kMaxRequestEntries);
}

qint64 AnswerBytes(const QVariant &answer)
{
    switch (answer.userType()) {
    case QMetaType::QByteArray:
        return 16 + answer.toByteArray().size();
    case QMetaType::QStringList: {
        qint64 bytes = 16;
        for (const QString &text : answer.toStringList())
            bytes += AnswerTextBytes(text);
        return bytes;
    }
    case QMetaType::QVariantList: {
        qint64 bytes = 16;
        for (const QVariant &element : answer.toList())
            bytes += element.userType() == QMetaType::QStringList ? AnswerBytes(element)
                     : element.userType() == QMetaType::QByteArray
                         ? 16 + element.toByteArray().size()
                         : AnswerTextBytes(element.toString());
        return bytes;
    }
    default:
        return AnswerTextBytes(answer.toString());
    }
}

bool IsScalar(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// One element of an av request: a QDBusVariant holding a string or a number.
bool ElementFromBus(const QDBusArgument &argument, QVariant &element)
{
    if (argument.currentType() != QDBusArgument::VariantType)
        return false;
    QDBusVariant inner;
    argument >> inner;
    element = inner.variant();
    // A byte is a small number, not a character.
    if (element.userType() == QMetaType::UChar)
        element = element.toInt();
    return IsScalar(element);
}

bool ListFromBus(const QDBusArgument &argument, QVariantList &list)
{
    if (argument.currentSignature() != QLatin1String("av"))
        return false;
    argument.beginArray();
    while (!argument.atEnd()) {
        QVariant element;
        if (!ElementFromBus(argument, element))
            return false;
        if (element.userType() == QMetaType::QString)
            CheckEntryLength(element.toString());
        list.append(element);
        CheckEntryCount(list.size());
    }
    argument.endArray();
    return true;
}

QVariant ElementToBus(const QVariant &element)
{
    if (!element.isValid() || element.isNull())
        return QString();
    if (IsScalar(element) || element.userType() == QMetaType::QByteArray
        || element.userType() == QMetaType::QStringList)
        return element;
    return element.toString();
}

} // namespace

bool RequestFromBus(const QDBusVariant &in, QVariant &request)
{
    QVariant value = in.variant();
    if (value.userType() == QMetaType::UChar)
        value = value.toInt();
    if (value.userType() == QMetaType::QStringList) {
        const QStringList entries = value.toStringList();
        CheckEntryCount(entries.size());
        for (const QString &entry : entries)
            CheckEntryLength(entry);
        request = value;
        return true;
    }
    if (IsScalar(value)) {
        if (value.userType() == QMetaType::QString)
            CheckEntryLength(value.toString());
        request = value;
        return true;
    }
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        QVariantList list;
        if (!ListFromBus(value.value<QDBusArgument>(), list))
            return false;
        request = list;
        return true;
    }
    return false;
}

QDBusVariant AnswerToBus(const QVariant &answer)
{
    if (AnswerBytes(answer) > kMaxAnswerBytes)
        throw TLimitExceeded("bytes per answer", kMaxAnswerBytes);
    switch (answer.userType()) {
    case QMetaType::QStringList:
    case QMetaType::QByteArray:
        return QDBusVariant(answer);
    case QMetaType::QVariantList: {
        QVariantList elements;
        for (const QVariant &element : answer.toList())
            elements.append(ElementToBus(element));
        return QDBusVariant(QVariant::fromValue(elements));
    }
    default:
        return QDBusVariant(QVariant(QStringList{answer.toString()}));
    }
}
