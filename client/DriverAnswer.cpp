#include "client/DriverAnswer.h"

#include <QDBusArgument>
#include <QDBusVariant>

namespace {

const QString kStatusKey = QStringLiteral("COMMANDSTATUS=");
const QString kErrorKey = QStringLiteral("COMMANDERROR=");

QStringList TextsOf(const QVariant &answer)
{
    if (answer.userType() == QMetaType::QVariantList) {
        QStringList texts;
        for (const QVariant &element : answer.toList())
            texts.append(UnpackBusValue(element).toString());
        return texts;
    }
    if (answer.userType() == QMetaType::QStringList)
        return answer.toStringList();
    if (answer.userType() == QMetaType::QString)
        return {answer.toString()};
    return {};
}

} // namespace

QVariant UnpackBusValue(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return UnpackBusValue(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        const QString signature = argument.currentSignature();
        if (signature == QLatin1String("av")) {
            QVariantList list;
            argument >> list;
            for (QVariant &element : list)
                element = UnpackBusValue(element);
            return list;
        }
        if (signature == QLatin1String("as")) {
            QStringList list;
            argument >> list;
            return list;
        }
        if (signature == QLatin1String("ay")) {
            QByteArray bytes;
            argument >> bytes;
            return bytes;
        }
        return {};
    }
    return value;
}

TDriverAnswer ReadDriverAnswer(const QVariant &raw)
{
    TDriverAnswer answer;
    const QVariant value = UnpackBusValue(raw);
    if (value.userType() == QMetaType::QByteArray) {
        answer.Type = TDriverAnswer::Done;
        answer.IsBytes = true;
        answer.Bytes = value.toByteArray();
        return answer;
    }
    const QStringList texts = TextsOf(value);
    if (texts.isEmpty() || !texts.first().startsWith(kStatusKey))
        return answer;

    answer.Status = texts.first().mid(kStatusKey.size());
    const QString second = texts.value(1);
    if (answer.Status == QLatin1String("TRUE")) {
        answer.Type = TDriverAnswer::Done;
        const QString error = texts.value(2);
        if (error.startsWith(kErrorKey))
            answer.Error = error.mid(kErrorKey.size());
        answer.Items = texts.mid(3);
    } else if (answer.Status == QLatin1String("FALSE")) {
        answer.Type = TDriverAnswer::Failed;
        if (second.startsWith(kErrorKey))
            answer.Error = second.mid(kErrorKey.size());
    } else if (answer.Status == QLatin1String("LOCKED")) {
        answer.Type = TDriverAnswer::Locked;
        // The comment comes as COMMANDERROR=<comment>, or as the bare default text.
        answer.Error = second.startsWith(kErrorKey) ? second.mid(kErrorKey.size()) : second;
    } else if (answer.Status == QLatin1String("Waiting for driver...")) {
        answer.Type = TDriverAnswer::Waiting;
    } else {
        answer.Type = TDriverAnswer::Running;
    }
    return answer;
}
