#include "lonworks/LonInterface.h"

#include "lonworks/LDV32.h"

qint16 TniNetworkInterface::Open(const QByteArray &name)
{
    qint16 handle = -1;
    const qint16 status = LDV32::Open(name, handle);
    if (status == 0) {
        FHandle = handle;
        FLostStatus = 0;
    }
    return status;
}

qint16 TniNetworkInterface::Close()
{
    if (FHandle < 0)
        return 0;
    const qint16 status = LDV32::Close(FHandle);
    FHandle = -1;
    FPending.Clear();
    return status;
}

quint8 TniNetworkInterface::NextTag()
{
    for (int tried = 0; tried < 15; ++tried) {
        ++FTagCounter;
        if (FTagCounter >= 15)
            FTagCounter = 0;
        if (!FPending.IsTagInUse(FTagCounter))
            break;
    }
    return FTagCounter;
}

void TniNetworkInterface::NoteLibraryStatus(qint16 status)
{
    if (status == LDV32::DeviceError)
        FLostStatus = status;
    else if (status == 0 || status == LDV32::NoMessage)
        FLostStatus = 0;
}
