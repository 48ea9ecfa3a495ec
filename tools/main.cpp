// lonctl: the command-line client of the LonWorks Network Driver. Finds the command,
// parses its command line, runs it and turns every failure into a message and an exit status.

#include "tools/CommandContext.h"
#include "tools/CommandTable.h"
#include "tools/ExitCodes.h"
#include "tools/Interrupt.h"
#include "tools/Output.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

int RunCommand(const TCommandInfo &info, const QStringList &arguments)
{
    TCommandContext context(info);
    try {
        if (!context.Parse(arguments)) {
            WriteOut(context.HelpText());
            return ExitSuccess;
        }
        return info.Run(context);
    } catch (const TLonctlError &error) {
        WriteErr(QStringLiteral("lonctl %1: %2\n").arg(info.Name, error.Message()));
        if (error.Code() == ExitUsage)
            WriteErr(QStringLiteral("Run `lonctl %1 --help` for its usage.\n").arg(info.Name));
        return error.Code();
    } catch (const std::exception &error) {
        WriteErr(QStringLiteral("lonctl %1: unexpected failure: %2\n")
                     .arg(info.Name, QString::fromLocal8Bit(error.what())));
        return ExitCommandFailed;
    }
}

int UnknownCommand(const QString &name)
{
    QStringList names;
    for (const TCommandInfo &entry : CommandTable())
        names.append(entry.Name);
    WriteErr(QStringLiteral("lonctl: unknown command \"%1\". Commands: %2.\nRun `lonctl --help` "
                            "for usage.\n")
                 .arg(name, names.join(QStringLiteral(", "))));
    return ExitUsage;
}

// Ends lonctl once a command has run. Qt's D-Bus thread lives until the program's statics are
// destroyed, and a message the bus delivers in that moment (after a driver vanished
// mid-command, for instance) is handled against type records already gone: the program then
// aborts instead of ending with the status it reported. Everything lonctl has to say is
// written by now, so it leaves without running the statics' destructors.
[[noreturn]] void EndAfterCommand(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.80"));
    InstallInterruptHandlers();

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        WriteErr(GeneralHelp());
        return ExitUsage;
    }
    const QString first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h")
        || first == QLatin1String("help")) {
        if (first == QLatin1String("help") && arguments.size() > 1) {
            if (const TCommandInfo *info = FindCommand(arguments.at(1)))
                return RunCommand(*info, {QStringLiteral("--help")});
            return UnknownCommand(arguments.at(1));
        }
        WriteOut(GeneralHelp());
        return ExitSuccess;
    }
    if (first == QLatin1String("--version")) {
        PrintLine(QStringLiteral("lonctl 1.80"));
        return ExitSuccess;
    }
    if (first.startsWith(u'-')) {
        WriteErr(QStringLiteral("lonctl: options come after the command (lonctl <command> [options]); "
                                "\"%1\" came first.\nRun `lonctl --help` for usage.\n").arg(first));
        return ExitUsage;
    }
    const TCommandInfo *info = FindCommand(first);
    if (!info)
        return UnknownCommand(first);
    EndAfterCommand(RunCommand(*info, arguments.mid(1)));
}
