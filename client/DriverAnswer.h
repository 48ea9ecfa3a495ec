#pragma once
// Reading the driver's answers: an answer array (as, av) or a byte array (ay) as QtDBus
// delivers it, sorted into done, failed, locked, still running or waiting.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

struct TDriverAnswer
{
    enum Kind {
        Done,       // COMMANDSTATUS=TRUE (or a byte array): Items / Bytes hold the result
        Failed,     // COMMANDSTATUS=FALSE: Error holds the driver's COMMANDERROR (may be empty)
        Locked,     // COMMANDSTATUS=LOCKED: another client holds the site; Error is its comment
        Waiting,    // "Waiting for driver...": another client's command or the poller is busy
        Running,    // any other COMMANDSTATUS text: the progress of our own command
        Invalid,    // not an answer of the driver at all
    };
    Kind Type = Invalid;
    QString Status;       // the COMMANDSTATUS text
    QString Error;
    QStringList Items;    // the result entries after the three header elements
    QByteArray Bytes;
    bool IsBytes = false;
};

// The texts of an answer variant (nested D-Bus variants and av arrays unpacked).
QVariant UnpackBusValue(const QVariant &value);
TDriverAnswer ReadDriverAnswer(const QVariant &answer);
