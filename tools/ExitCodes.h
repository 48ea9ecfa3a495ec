#pragma once
// Exit statuses of lonctl and the exceptions that carry a failure up to main().

#include <QString>

#include <stdexcept>

enum LonctlExit {
    ExitSuccess = 0,
    ExitCommandFailed = 1,    // the driver (or an offline conversion) reported a failure
    ExitUnreachable = 2,      // no bus, no driver, or the driver stopped answering
    ExitUsage = 64,           // unknown command or option, malformed argument
    ExitInterrupted = 130,    // Ctrl-C or SIGTERM while a command ran
};

// A failure with the message for the user and the exit status it maps to.
class TLonctlError : public std::runtime_error
{
public:
    TLonctlError(LonctlExit code, const QString &message)
        : std::runtime_error(message.toStdString()), FCode(code), FMessage(message) {}
    LonctlExit Code() const { return FCode; }
    const QString &Message() const { return FMessage; }

private:
    LonctlExit FCode;
    QString FMessage;
};

inline TLonctlError UsageError(const QString &message)
{
    return TLonctlError(ExitUsage, message);
}

inline TLonctlError CommandFailed(const QString &message)
{
    return TLonctlError(ExitCommandFailed, message);
}

inline TLonctlError Unreachable(const QString &message)
{
    return TLonctlError(ExitUnreachable, message);
}
