#include "lonworks/LonWait.h"

#include <QThread>

namespace {

void Sleep(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

LonLib::TPauseFunction gPause = &Sleep;
bool gStopped = false;

} // namespace

void LonLib::SetPauseFunction(TPauseFunction pause)
{
    gPause = pause ? pause : &Sleep;
}

void LonLib::Pause(int ms)
{
    gPause(ms);
}

void LonLib::StopWaiting()
{
    gStopped = true;
}

bool LonLib::WaitingStopped()
{
    return gStopped;
}
