#pragma once
// Strict reading of the JSON files people write (interfaces file, channel file): the first
// fault ends the reading with one message that names where it is ("<entry>.<key>: <why>"),
// and keys nobody reads are faults, so a misspelt key is noticed.

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace jsonrules {

// Thrown by refuse(); the reader catches it at the top and reports why.
struct Refusal {
    QString why;
};

[[noreturn]] void refuse(const QString &why);
// Refuses a key of o that allowed does not name.
void onlyKeys(const QJsonObject &o, const QStringList &allowed, const QString &where);
// A whole number low..high, or a refusal.
int number(const QJsonValue &v, int low, int high, const QString &where);

// The first key an object of json names twice ("key \"name\" twice in one object, at
// offset 120"); empty when there is none. Qt's reader keeps one of the two silently, so a
// file whose author meant both is refused instead. Linear in the size of json, which the
// caller has parsed as JSON already (other input gives no reliable answer, and no harm).
QString duplicateKey(const QByteArray &json);

} // namespace jsonrules
