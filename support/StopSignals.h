#pragma once
// SIGTERM, SIGINT and SIGHUP as a Qt signal: the handler only writes a byte to a socket pair,
// the event loop reads it, so a program (the gateway, the web console) can end its work in order.

#include <QObject>

class QSocketNotifier;

class TStopSignals : public QObject
{
    Q_OBJECT
public:
    explicit TStopSignals(QObject *parent = nullptr);
    ~TStopSignals() override;

Q_SIGNALS:
    void Received(int count);   // how many stop signals came so far

private:
    QSocketNotifier *FNotifier = nullptr;
    int FCount = 0;
};
