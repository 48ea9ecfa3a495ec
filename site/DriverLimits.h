#pragma once
// The limits on what one client can make the driver hold or do, and the error that
// reports a limit reached. docs/dbus-interface.md lists them with their refusals.
//
// They follow from the bus and from real networks. A D-Bus message carries at most
// 128 MiB and an array at most 64 MiB, and a dbus-daemon left at its built-in defaults
// refuses messages above 32 MiB: every answer stays below kMaxAnswerBytes. A large
// LonWorks site has a few hundred devices and some tens of thousands of points.

#include <QString>

#include <stdexcept>

namespace DriverLimits {

// Requests (checked where they come off the bus).
inline constexpr qsizetype kMaxRequestEntries = 100'100;   // a full points list and its keys
inline constexpr qsizetype kMaxEntryLength = 65'536;       // characters of one NAME=VALUE entry
// Connect texts: DESCRIPTION, SP1, SP2, SP3 and DEVICETYPE.
inline constexpr qsizetype kMaxSiteTextLength = 255;

// Points lists and polling.
inline constexpr qsizetype kMaxPointsPerList = 100'000;
inline constexpr qsizetype kMaxPointsListCharacters = 8 * 1024 * 1024;
inline constexpr qsizetype kMaxPointsPerSite = 100'000;    // the union of the clients' lists

// Discovery: point entries in one GETPOINTSLIST answer.
inline constexpr qsizetype kMaxDiscoveryEntries = 100'000;

// Objects and sites.
inline constexpr int kMaxObjectsPerConnection = 64;
inline constexpr int kMaxObjectsPerProcess = 1024;
inline constexpr int kMaxSitesPerProcess = 128;

// Answers: the most bytes one answer may take on the wire.
inline constexpr qint64 kMaxAnswerBytes = 30 * 1024 * 1024;

// The bytes one text takes as a string element of an answer: its UTF-8 form, the
// variant's signature, the length, the terminating zero and the alignment.
inline qint64 AnswerTextBytes(const QString &text)
{
    qint64 bytes = 16;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : QChar::isHighSurrogate(c) ? 2 : 3;
    }
    return bytes;
}

} // namespace DriverLimits

// A limit reached. what() names the limit; the bus boundary answers it with the D-Bus
// error org.freedesktop.DBus.Error.LimitsExceeded, a job with COMMANDSTATUS=FALSE and
// this text as its COMMANDERROR.
class TLimitExceeded : public std::runtime_error
{
public:
    TLimitExceeded(const char *limit, qint64 maximum)
        : std::runtime_error(Text(limit, maximum).toStdString())
    {
    }

    QString Message() const { return QString::fromUtf8(what()); }

    static QString Text(const char *limit, qint64 maximum)
    {
        return QStringLiteral("Limit exceeded: %1 (at most %2)")
            .arg(QLatin1String(limit))
            .arg(maximum);
    }
};
