#include "lonworks/LonWait.h"

#include <QThread>

namespace {

void Sleep(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

LonLib::TPauseFunction gPause = &Sleep;

} // namespace

void LonLib::SetPauseFunction(TPauseFunction pause)
{
    gPause = pause ? pause : &Sleep;
}

void LonLib::Pause(int ms)
{
    gPause(ms);
}
