// lonworks-driver: the LonWorks Network Driver process. It reads its start mode and its
// configuration, keeps its session-bus registration current, binds the driver library,
// opens the main window and serves driver objects on the session bus (or the system bus)
// until it is closed (or, when the bus started it, until the last driver object is
// released).

#include "automation/BusWatch.h"
#include "automation/BusLog.h"
#include "automation/ClassFactory.h"
#include "automation/DriverConfig.h"
#include "automation/MainForm.h"
#include "automation/Registration.h"
#include "automation/SiteRegistry.h"
#include "automation/ServerApplication.h"
#include "automation/StartMode.h"
#include "automation/TerminationSignals.h"
#include "support/LogFormat.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonLog.h"
#include "lonworks/LonWait.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
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

QDBusConnection ServeBusConnection(TServeBus bus)
{
    return bus == TServeBus::System ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
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
    InstallLogFormat(QStringLiteral("lonworks-driver"));

    TDriverConfig config;
    QString configProblem;
    if (!LoadDriverConfig(DriverConfigPath(), config, configProblem)) {
        qCCritical(lcBus, "%s", qPrintable(configProblem));
        return 1;
    }
    if (!config.Library.isEmpty() && !qEnvironmentVariableIsSet("LDV32_LIBRARY"))
        qputenv("LDV32_LIBRARY", QFile::encodeName(config.Library));
    const TServeBus serveBus = ChooseServeBus(options, config.Bus);
    const QString busName = ServeBusName(serveBus);

    // The session bus's activation file for this user: refreshed only when the driver wrote
    // it, never over the user's own, and not at all where the package's file serves everyone.
    // A registration that cannot be refreshed is no reason not to serve; the reason is told.
    if (serveBus == TServeBus::Session) {
        QString registrationError;
        QString registrationNote;
        if (!DefaultRegistration(ProgramPath(argv[0])).Refresh(registrationError, registrationNote))
            qCWarning(lcBus, "registration not refreshed: %s", qPrintable(registrationError));
        else if (!registrationNote.isEmpty())
            qCInfo(lcBus, "%s", qPrintable(registrationNote));
    }

    QDBusConnection bus = ServeBusConnection(serveBus);
    if (!bus.isConnected()) {
        qCCritical(lcBus, "no %s bus: %s", qPrintable(busName), qPrintable(bus.lastError().message()));
        return 1;
    }

    // Without its library the driver still serves (clients learn why each connect fails),
    // but the reason is told at once: the library and the loader's own words.
    LDV32::Load();
    const QString libraryProblem = LDV32::LoadProblem();
    if (!libraryProblem.isEmpty())
        qCCritical(lcLibrary, "%s; every connect will fail (LDV32_LIBRARY names the library "
                              "to use)", qPrintable(libraryProblem));
    else
        qCInfo(lcLibrary, "driver library %s (%s)", qPrintable(LDV32::LibraryPath()),
               qPrintable(LDV32::LibraryVersion()));

    // The sites and the driver objects outlive the window that shows them.
    TSiteRegistry registry;
    TMainForm mainForm(&registry);
    TClassFactory factory(bus, &registry);
    if (!factory.RegisterOnBus()) {
        qCCritical(lcBus, "cannot register the class object on the bus");
        return 1;
    }
    if (!bus.registerService(QLatin1String(kBusName))) {
        const QDBusError error = bus.lastError();
        if (error.type() == QDBusError::AccessDenied)
            qCCritical(lcBus, "the %s bus does not let this user own %s (%s); on the system bus "
                              "only the user lonworks may, through the lonworks-driver service",
                       qPrintable(busName), kBusName, qPrintable(error.message()));
        else
            qCCritical(lcBus, "the bus name %s is already owned on the %s bus; another driver "
                              "is running", kBusName, qPrintable(busName));
        return 1;
    }
    qCInfo(lcBus, "serving %s on the %s bus%s", kBusName, qPrintable(busName),
           EndsWithLastObject(options.Mode) ? " until the last driver object is released" : "");
    // Started by the bus: end once no driver object is left.
    registry.SetEndsWithLastObject(EndsWithLastObject(options.Mode));

    // Without its bus the driver serves no one: it ends, in every start mode.
    TBusWatch busWatch(bus);
    QObject::connect(&busWatch, &TBusWatch::Lost, &app, [busName] {
        qCCritical(lcBus, "lost the connection to the %s bus; ending", qPrintable(busName));
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
