#pragma once
// lonip-config-server in an end-to-end session: its channel file (written by the test, the
// members by address, port and name), its state file, trace and capture in the session's
// folder; started, stopped and started again on the same port and state.

#include "ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QUdpSocket>

#include <csignal>

// Ends a child program: SIGTERM, and SIGKILL when it has not ended 5 s later.
inline void StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

class TConfigServerProcess
{
public:
    struct TMember {
        quint16 Port = 0;       // on 127.0.0.1
        QString Name;
    };

    ~TConfigServerProcess() { Stop(); }

    static QString ProgramPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/lonip-config-server"); }

    // A UDP port free on 127.0.0.1 now (for a member the channel file names before it runs).
    static quint16 FreePort()
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        return probe.localPort();
    }

    // Writes the channel file listing members and starts the server on a free port of
    // 127.0.0.1 with its files in folder. False with Error() set.
    bool Start(const QString &folder, const QList<TMember> &members)
    {
        FFolder = folder;
        FPort = FreePort();
        return WriteChannel(members) && Run();
    }

    // The channel file rewritten (replaced, as an editor does) and the server told (SIGHUP).
    bool SetMembers(const QList<TMember> &members)
    {
        if (!WriteChannel(members))
            return false;
        if (FProcess.state() == QProcess::Running)
            ::kill(pid_t(FProcess.processId()), SIGHUP);
        return true;
    }

    // Started again on the same port, channel file and state file.
    bool Restart()
    {
        Stop();
        return Run();
    }

    void Stop() { StopProcess(FProcess); }

    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
    QString Error() const { return FError; }
    QString StatePath() const { return QDir(FFolder).filePath(QStringLiteral("config-server-state.json")); }
    QString TracePath() const { return QDir(FFolder).filePath(QStringLiteral("config-server-trace.txt")); }
    QString CapturePath(int run) const { return QDir(FFolder).filePath(QStringLiteral("config-server-%1.pcap").arg(run)); }
    int Runs() const { return FRuns; }
    const QList<TMember> &Members() const { return FMembers; }
    QJsonObject State() const
    {
        QFile file(StatePath());
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    QByteArray Trace() const
    {
        QFile file(TracePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    bool WriteChannel(const QList<TMember> &members)
    {
        FMembers = members;
        QJsonArray list;
        for (const TMember &m : members)
            list.append(QJsonObject{{QStringLiteral("address"), QStringLiteral("127.0.0.1")},
                                    {QStringLiteral("port"), int(m.Port)},
                                    {QStringLiteral("name"), m.Name}});
        const QJsonObject channel{
            {QStringLiteral("server"), QJsonObject{{QStringLiteral("address"), QStringLiteral("127.0.0.1")},
                                                   {QStringLiteral("port"), int(FPort)}}},
            {QStringLiteral("members"), list}};
        QSaveFile file(QDir(FFolder).filePath(QStringLiteral("channel.json")));
        if (!file.open(QIODevice::WriteOnly)) {
            FError = QStringLiteral("cannot write the channel file");
            return false;
        }
        file.write(QJsonDocument(channel).toJson());
        return file.commit();
    }

    bool Run()
    {
        ++FRuns;
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(ProgramPath(), {QStringLiteral("--channel"), QDir(FFolder).filePath(QStringLiteral("channel.json")),
                                       QStringLiteral("--state"), StatePath(), QStringLiteral("--trace"), TracePath(),
                                       QStringLiteral("--pcap"), CapturePath(FRuns)});
        const QString ready = WaitForReadyLine(FProcess);
        if (!ready.startsWith(QLatin1String("lonip-config-server: ready"))) {
            FError = QStringLiteral("lonip-config-server did not start: ") + ready;
            Stop();
            return false;
        }
        return true;
    }

    QProcess FProcess;
    QList<TMember> FMembers;
    QString FFolder;
    quint16 FPort = 0;
    int FRuns = 0;
    QString FError;
};
