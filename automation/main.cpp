// lonworks-driver: the LonWorks Network Driver process. It reads its start mode, keeps
// its bus registration current, binds the driver library, opens the main window and
// serves driver objects on the session bus until it is closed (or, when the bus started
// it, until the last driver object is released).

#include "automation/BusWatch.h"
#include "automation/ClassFactory.h"
#include "automation/MainForm.h"
#include "automation/Registration.h"
#include "automation/SiteRegistry.h"
#include "automation/ServerApplication.h"
#include "automation/StartMode.h"
#include "automation/TerminationSignals.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonWait.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>

#include <cstdio>
#include <vector>

namespace {

// The exit status when the bus connection was lost while serving.
constexpr int kExitBusLost = 3;

QStringList ArgumentList(int argc, char **argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

QString ProgramPath(const char *argv0)
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return self.canonicalFilePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
}

void PrintError(const QString &text)
{
    std::fprintf(stderr, "lonworks-driver: %s\n", qPrintable(text));
}

int RunRegistration(const TStartOptions &options, int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const TRegistration registration = DefaultRegistration(ProgramPath(argv[0]));
    QString error;
    const bool ok = options.Mode == TStartMode::RegServer ? registration.Register(error)
                                                          : registration.Unregister(error);
    if (!ok) {
        PrintError(error);
        return 1;
    }
    return 0;
}

int RunServer(const TStartOptions &options, int argc, char **argv)
{
    // The remaining arguments go to Qt; our switches are taken out.
    std::vector<QByteArray> storage;
    for (const QString &argument : options.QtArguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> qtArgv;
    for (QByteArray &argument : storage)
        qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(storage.size());
    Q_UNUSED(argc);

    ChooseHeadlessPlatform(options.QtArguments);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("LonWorks Network Driver"));
    TServerApplication app(qtArgc, qtArgv.data());
    QCoreApplication::setApplicationName(QStringLiteral("lonworks-driver"));
    app.setQuitOnLastWindowClosed(false);

    // A registration that cannot be refreshed is no reason not to serve; the reason is told.
    QString registrationError;
    if (!DefaultRegistration(ProgramPath(argv[0])).Register(registrationError))
        PrintError(QStringLiteral("registration not refreshed: %1").arg(registrationError));

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        PrintError(QStringLiteral("no session bus: %1").arg(bus.lastError().message()));
        return 1;
    }

    LDV32::Load();

    // The sites and the driver objects outlive the window that shows them.
    TSiteRegistry registry;
    TMainForm mainForm(&registry);
    TClassFactory factory(bus, &registry);
    if (!factory.RegisterOnBus()) {
        PrintError(QStringLiteral("cannot register the class object on the bus"));
        return 1;
    }
    if (!bus.registerService(QLatin1String(kBusName))) {
        PrintError(QStringLiteral("the bus name %1 is already owned; another driver is running")
                       .arg(QLatin1String(kBusName)));
        return 1;
    }
    // Started by the bus: end once no driver object is left.
    registry.SetEndsWithLastObject(EndsWithLastObject(options.Mode));

    // Without its bus the driver serves no one: it ends, in every start mode.
    TBusWatch busWatch(bus);
    QObject::connect(&busWatch, &TBusWatch::Lost, &app, [] {
        PrintError(QStringLiteral("lost the connection to the session bus; ending"));
        LonLib::StopWaiting();
        QCoreApplication::exit(kExitBusLost);
    });

    TTerminationSignals terminationSignals;
    mainForm.show();
    const int code = app.exec();
    bus.unregisterService(QLatin1String(kBusName));
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    const TStartOptions options = ParseStartOptions(ArgumentList(argc, argv));
    if (options.ShowHelp || options.ShowVersion) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("lonworks-driver"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.80"));
        const QString text = options.ShowHelp ? StartHelpText()
                                              : QStringLiteral("lonworks-driver 1.80\n");
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    if (options.Mode == TStartMode::RegServer || options.Mode == TStartMode::UnregServer)
        return RunRegistration(options, argc, argv);
    return RunServer(options, argc, argv);
}
