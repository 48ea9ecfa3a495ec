#pragma once
// TServerApplication: the driver's QApplication. An exception that escapes an event
// handler (a timer tick, a click, a bus call) is dropped here, so the server carries on
// and never waits on an error dialog.

#include <QApplication>

class TServerApplication : public QApplication
{
    Q_OBJECT

public:
    TServerApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
