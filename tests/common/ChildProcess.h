#pragma once
// Helper programs a test starts (channel servers, configuration servers, stand-in
// devices) say they are ready on the first line of their standard output.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>

// Waits until the started process has written a line, has ended, or ms have passed, and
// answers that line (trimmed; empty when none came).
inline QString WaitForReadyLine(QProcess &process, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!process.canReadLine() && process.state() != QProcess::NotRunning && timer.elapsed() < ms)
        process.waitForReadyRead(100);
    return QString::fromUtf8(process.readLine()).trimmed();
}
