#pragma once
// The point texts a client exchanges with the driver: discovery's entry lines, the request
// entries of POINT=/POINTn=, and the polled values of GETPOINTSLIST.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

// One entry line {address}{name}{units}{TRUE|FALSE}{kind}{Variable}.
struct TPointEntry
{
    QString Address;
    QString Name;
    QString Units;
    bool Writable = false;
    QString Kind;
};
// False for a line without six brace groups.
bool ParsePointEntry(const QString &line, TPointEntry &entry);

// A request entry {name}{address}{group}... for POINT=, POINTn=.
QString RequestEntry(const QString &name, const QString &address, const QStringList &more = {});

// COMMAND=SENDPOINTSLIST with POINT0=, POINT1=, ... one entry per address, named by `names`
// where given (else P0, P1, ...).
QStringList PointsListRequest(const QStringList &addresses, const QStringList &names = {});

// The POINTn={address}{VALUE=value} items of a GETPOINTSLIST answer, by address.
QHash<QString, QString> PolledValues(const QStringList &items);
// One such item read in place: false when it is not one.
bool PolledValueOf(QStringView item, QStringView &address, QStringView &value);

// The first three fields of an address (domain:subnet:node): the device it belongs to.
// Empty when the address has fewer than four fields.
QString DeviceOfAddress(const QString &address);
