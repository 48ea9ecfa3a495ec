#include "tools/DriverSession.h"

#include "tools/ActivationEnvironment.h"
#include "tools/ExitCodes.h"
#include "tools/Interrupt.h"
#include "tools/Output.h"
#include "tools/ProgressLine.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <optional>

namespace {

constexpr int kInterruptCheckMs = 20;

QString SecondsText(int ms)
{
    return QString::number(ms / 1000.0, 'g', 4) + QStringLiteral(" s");
}

} // namespace

TDriverSession::TDriverSession(TProgressLine &progress, TDriverBus bus)
    : FProgress(progress), FSession(bus)
{
    // lonctl waits for every answer anyway: its calls block, as a command-line client's do.
    FSession.SetBlockingCalls(true);
    QObject::connect(&FSession, &TSiteSession::Progress, &FSession,
                     [this](const QString &text) { FProgress.Show(text); });
}

TDriverSession::~TDriverSession()
{
    Close();
}

void TDriverSession::Wait(const Start &start)
{
    QEventLoop loop;
    bool ended = false;
    std::optional<TSessionError> failure;
    const auto end = [&] {
        ended = true;
        loop.quit();
    };
    start(end, [&](const TSessionError &error) {
        failure = error;
        end();
    });
    QTimer interruptCheck;
    QObject::connect(&interruptCheck, &QTimer::timeout, &loop, [&] {
        if (Interrupted())
            loop.quit();
    });
    interruptCheck.start(kInterruptCheckMs);
    while (!ended && !Interrupted())
        loop.exec();
    FProgress.Clear();
    if (!ended) {
        FSession.Abort();
        throw TLonctlError(ExitInterrupted, QStringLiteral("Interrupted."));
    }
    if (!failure)
        return;
    const TSessionError &error = *failure;
    switch (error.Type) {
    case TSessionError::NoBus:
        if (FSession.Bus() == TDriverBus::System)
            throw Unreachable(QStringLiteral("Cannot reach the D-Bus system bus (%1). Is the bus "
                                             "running (`systemctl status dbus`)?")
                                  .arg(error.Message));
        throw Unreachable(QStringLiteral("Cannot reach the D-Bus session bus (%1). lonctl talks to "
                                         "the driver over the session bus: run it in a desktop or "
                                         "login session, or start one with `dbus-run-session -- "
                                         "$SHELL`; a driver running as a system service is "
                                         "reached with --system.")
                              .arg(error.Message));
    case TSessionError::NoDriver:
    case TSessionError::AccessDenied:
    case TSessionError::Lost:
    case TSessionError::Invalid:
        throw Unreachable(error.Message);
    case TSessionError::ConnectFailed:
        throw CommandFailed(error.Message
                            + QStringLiteral(" Check --interface \"%1\": LON1 is the built-in simulated "
                                             "network; lon0, lon1, ... are LON network devices (USB "
                                             "interfaces; see `lonctl interfaces`); other names come from "
                                             "the interfaces file (LDV_INTERFACES) or are network "
                                             "descriptions on LONSIM_PATH.")
                                  .arg(FInterface));
    case TSessionError::TimedOut:
        if (error.Connecting)
            throw CommandFailed(QStringLiteral("The driver did not finish connecting within %1. "
                                               "Try a longer --timeout.")
                                    .arg(SecondsText(FOpenTimeoutMs)));
        throw CommandFailed(error.Message + QStringLiteral(" Try a longer --timeout."));
    case TSessionError::LimitsExceeded:
    case TSessionError::VersionRefused:
    case TSessionError::ConnectRefused:
    case TSessionError::Locked:
        throw CommandFailed(error.Message);
    }
    throw CommandFailed(error.Message);
}

void TDriverSession::Open(const TSiteSettings &site, int timeoutMs)
{
    FInterface = site.Interface;
    FOpenTimeoutMs = timeoutMs;
    // Whether the connect worked or not, a setting that never reached the driver is told.
    const auto noteEnvironment = qScopeGuard([this] {
        const QString note = ActivationEnvironmentNote(FSession.Connection(), FSession.Bus(),
                                                       FSession.DriverName());
        if (!note.isEmpty())
            WriteErr(QStringLiteral("lonctl: ") + note);
    });
    Wait([&](TSiteSession::Finished ended, TSiteSession::Failed failed) {
        FSession.Open(site, timeoutMs, std::move(ended), std::move(failed));
    });
}

TDriverAnswer TDriverSession::Run(const QStringList &request, int timeoutMs)
{
    TDriverAnswer result;
    Wait([&](TSiteSession::Finished ended, TSiteSession::Failed failed) {
        FSession.Run(request, timeoutMs,
                     [&result, ended](const TDriverAnswer &answer) {
                         result = answer;
                         ended();
                     },
                     std::move(failed));
    });
    return result;
}

TDriverAnswer TDriverSession::RunOrFail(const QStringList &request, int timeoutMs,
                                        const QString &what)
{
    const TDriverAnswer answer = Run(request, timeoutMs);
    RequireDone(answer, what);
    return answer;
}

void TDriverSession::RequireDone(const TDriverAnswer &answer, const QString &what)
{
    if (answer.Type == TDriverAnswer::Locked)
        throw CommandFailed(LockedMessage(answer.Error));
    if (answer.Type != TDriverAnswer::Done)
        throw CommandFailed(answer.Error.isEmpty()
                                ? QStringLiteral("The driver reported a failure %1 and gave no "
                                                 "reason.").arg(what)
                                : QStringLiteral("The driver reported a failure %1: %2")
                                      .arg(what, answer.Error));
}

TDriverAnswer TDriverSession::Put(const QStringList &request)
{
    TDriverAnswer result;
    Wait([&](TSiteSession::Finished ended, TSiteSession::Failed failed) {
        FSession.Put(request,
                     [&result, ended](const TDriverAnswer &answer) {
                         result = answer;
                         ended();
                     },
                     std::move(failed));
    });
    return result;
}

void TDriverSession::Close()
{
    FProgress.Clear();
    QEventLoop loop;
    bool closed = false;
    FSession.Close([&] {
        closed = true;
        loop.quit();
    });
    if (!closed)
        loop.exec();
}
