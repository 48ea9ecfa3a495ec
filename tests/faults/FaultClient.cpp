// lw-fault-client: a client process that connects, starts one command and then only
// waits, so a test can kill it while the driver runs its job.
//   lw-fault-client <connect entry>... -- <command entry>...
//   prints the start answer, then STARTED

#include "DriverClient.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const qsizetype split = arguments.indexOf(QStringLiteral("--"));
    const QStringList connect = arguments.mid(0, split);
    const QStringList command = split < 0 ? QStringList() : arguments.mid(split + 1);
    TDriverClient client;
    if (!client.Open(connect) || client.WaitForStatus().value(0) != QLatin1String("COMMANDSTATUS=TRUE")) {
        std::fprintf(stderr, "lw-fault-client: could not connect\n");
        return 1;
    }
    std::printf("%s\nSTARTED\n", qPrintable(client.Get(command).join(u'|')));
    std::fflush(stdout);
    return app.exec();
}
