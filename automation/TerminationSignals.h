#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit of the event loop, so that a
// driver stopped by its service manager or a terminal closes its sites' interfaces.

#include <QObject>

class QSocketNotifier;

class TTerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject *parent = nullptr);
    ~TTerminationSignals() override;

    bool Installed() const { return FNotifier != nullptr; }

private:
    QSocketNotifier *FNotifier = nullptr;
};
