// lw-test-holder: a client process that takes a driver object, connects it to a site
// and then only waits; tests kill it to see its objects released.
//   lw-test-holder <connect entry>...   prints the object path, then READY

#include "DriverClient.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList request = QCoreApplication::arguments().mid(1);
    TDriverClient client;
    if (!client.Open(request)) {
        std::fprintf(stderr, "lw-test-holder: %s\n", qPrintable(client.LastError().message()));
        return 1;
    }
    std::printf("%s\nREADY\n", qPrintable(client.Path()));
    std::fflush(stdout);
    return app.exec();
}
