#include "support/ParamList.h"

#include "support/StrLib.h"

#include <QStringList>

namespace {

// Strings are used unchanged, numbers, booleans and characters become text the way
// QVariant::toString writes them; anything else has no text form.
QString EntryText(const QVariant &element)
{
    switch (element.typeId()) {
    case QMetaType::QString:
    case QMetaType::QChar:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Float:
    case QMetaType::Double:
        return element.toString();
    default:
        throw ParamListError(std::string("parameter list element of type ")
                             + (element.isValid() ? element.typeName() : "invalid")
                             + " has no text form");
    }
}

bool MatchEntry(const QString &entry, const QString &key, QString &value)
{
    if (!entry.startsWith(key))
        return false;
    value = entry.mid(key.size());
    return true;
}

} // namespace

bool FindParam(const QVariant &params, const QString &name, QString &value)
{
    value.clear();
    const QString key = name + u'=';
    switch (params.typeId()) {
    case QMetaType::UnknownType:
        return false;
    case QMetaType::QStringList:
        for (const QString &entry : params.toStringList()) {
            if (MatchEntry(entry, key, value))
                return true;
        }
        return false;
    case QMetaType::QVariantList:
        for (const QVariant &element : params.toList()) {
            if (MatchEntry(EntryText(element), key, value))
                return true;
        }
        return false;
    default:
        return MatchEntry(EntryText(params), key, value);
    }
}

TParamIndex::TParamIndex(const QVariant &params)
{
    // Only the first entry of a NAME counts, as in FindParam. Indexing stops at an
    // unreadable element: FindParam would fail there for any NAME not found before it.
    const auto addFirst = [this](const QString &entry) {
        const qsizetype equals = entry.indexOf(u'=');
        if (equals < 0)
            return;
        const QString name = entry.left(equals);
        if (!FValues.contains(name))
            FValues.insert(name, entry.mid(equals + 1));
    };
    try {
        switch (params.typeId()) {
        case QMetaType::UnknownType:
            return;
        case QMetaType::QStringList:
            for (const QString &entry : params.toStringList())
                addFirst(entry);
            return;
        case QMetaType::QVariantList:
            for (const QVariant &element : params.toList())
                addFirst(EntryText(element));
            return;
        default:
            addFirst(EntryText(params));
        }
    } catch (const ParamListError &error) {
        FUnreadable = QString::fromUtf8(error.what());
    }
}

bool TParamIndex::Find(const QString &name, QString &value) const
{
    const auto found = FValues.constFind(name);
    if (found != FValues.cend()) {
        value = found.value();
        return true;
    }
    value.clear();
    if (!FUnreadable.isEmpty())
        throw ParamListError(FUnreadable.toStdString());
    return false;
}

bool ParamAsInteger(const QVariant &params, const QString &name, qint32 &value)
{
    value = 0;
    try {
        QString text;
        qint32 number = 0;
        if (!FindParam(params, name, text) || !ParseInteger(text, number))
            return false;
        value = number;
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool ParamAsBoolean(const QVariant &params, const QString &name, bool &value)
{
    value = false;
    try {
        QString text;
        if (!FindParam(params, name, text))
            return false;
        value = text == u"TRUE";
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool ParamAsFloat(const QVariant &params, const QString &name, double &value)
{
    value = 0.0;
    try {
        QString text;
        double number = 0.0;
        if (!FindParam(params, name, text) || !ParseLocaleFloat(text, number))
            return false;
        value = number;
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

QString BoolParam(const QString &name, bool flag)
{
    return name + (flag ? u"=TRUE" : u"=FALSE");
}

QString StrParam(const QString &name, const QString &value)
{
    return name + u'=' + value;
}
