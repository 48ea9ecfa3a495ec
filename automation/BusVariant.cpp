#include "automation/BusVariant.h"

#include <QDBusArgument>
#include <QStringList>

namespace {

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
        list.append(element);
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
    if (value.userType() == QMetaType::QStringList || IsScalar(value)) {
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
