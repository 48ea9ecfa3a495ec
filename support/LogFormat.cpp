#include "support/LogFormat.h"

#include <QtGlobal>

#include <sys/stat.h>

bool LogsToJournal()
{
    // systemd sets JOURNAL_STREAM to "<device>:<inode>" of the stream it connects to stderr;
    // a child whose stderr was redirected elsewhere must not prefix its lines.
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    struct stat st {};
    return deviceOk && inodeOk && ::fstat(2, &st) == 0 && qulonglong(st.st_dev) == device
           && qulonglong(st.st_ino) == inode;
}

void InstallLogFormat(const QString &program)
{
    if (LogsToJournal()) {
        qSetMessagePattern(QStringLiteral("%{if-debug}<7>%{endif}%{if-info}<6>%{endif}"
                                          "%{if-warning}<4>%{endif}%{if-critical}<3>%{endif}"
                                          "%{if-fatal}<2>%{endif}%{category}: %{message}"));
        return;
    }
    qSetMessagePattern(program + QStringLiteral(": %{if-warning}warning: %{endif}"
                                                "%{if-critical}error: %{endif}%{if-fatal}fatal: %{endif}"
                                                "%{message}"));
}
