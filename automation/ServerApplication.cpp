#include "automation/ServerApplication.h"

TServerApplication::TServerApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool TServerApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        return false;
    }
}
