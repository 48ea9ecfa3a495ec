#pragma once
// Running the lonctl program from a test: its exit status and both outputs, with the
// locale pinned and a bound on how long it may take (a hang fails the test).

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct TLonctlResult
{
    int ExitCode = -1;
    bool Finished = false;   // false: it hung and was killed, or crashed
    QString Out;
    QString Err;
};

// lonctl beside the test program.
QString LonctlPath();
// The test's environment with LC_ALL=C.UTF-8.
QProcessEnvironment LonctlEnvironment();
TLonctlResult RunLonctl(const QStringList &arguments,
                        const QProcessEnvironment &environment = LonctlEnvironment(),
                        int timeoutMs = 120000);
