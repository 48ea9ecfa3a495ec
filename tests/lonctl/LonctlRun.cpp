#include "LonctlRun.h"

#include <QCoreApplication>
#include <QProcess>

QString LonctlPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lonctl");
}

QProcessEnvironment LonctlEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return environment;
}

TLonctlResult RunLonctl(const QStringList &arguments, const QProcessEnvironment &environment,
                        int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(LonctlPath(), arguments);
    TLonctlResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        result.Finished = process.exitStatus() == QProcess::NormalExit;
        result.ExitCode = process.exitCode();
    }
    result.Out = QString::fromUtf8(process.readAllStandardOutput());
    result.Err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
