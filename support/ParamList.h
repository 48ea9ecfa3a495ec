#pragma once
// Parameter lists: the NAME=VALUE texts that every client request carries and every answer
// is built from. A list is a QString, a QStringList or a QVariantList of such entries.

#include <QHash>
#include <QString>
#include <QVariant>

#include <stdexcept>

// An element of a parameter list that has no text form (a nested list or map, an invalid
// variant, ...). Only FindParam raises it; the typed readers answer "not found" instead.
class ParamListError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// First entry that starts with NAME followed by "=" (case-sensitive); value is the text
// after that first "=". Clears value first. Throws ParamListError for an unreadable element.
bool FindParam(const QVariant &params, const QString &name, QString &value);

// Found and converted (integer syntax of ParseInteger); value 0 otherwise. Never throws.
bool ParamAsInteger(const QVariant &params, const QString &name, qint32 &value);
// Found; value is true exactly when the entry's value is "TRUE". Never throws.
bool ParamAsBoolean(const QVariant &params, const QString &name, bool &value);
// Found and converted as a host-locale number (ParseLocaleFloat); 0.0 otherwise. Never throws.
bool ParamAsFloat(const QVariant &params, const QString &name, double &value);

// The entries of a list by NAME, read in one pass, for requests that look many names up
// (the POINT<n> entries of a points list): Find answers, or throws, what FindParam would,
// in constant time.
class TParamIndex
{
public:
    explicit TParamIndex(const QVariant &params);
    bool Find(const QString &name, QString &value) const;

private:
    QHash<QString, QString> FValues;   // the value of the first entry of each NAME
    QString FUnreadable;               // the fault of the first unreadable element, if any
};

// NAME=TRUE or NAME=FALSE.
QString BoolParam(const QString &name, bool flag);
// NAME=value, the value inserted unchanged.
QString StrParam(const QString &name, const QString &value);
