#pragma once
// How the programs' log messages look on stderr. Under systemd (JOURNAL_STREAM names the
// program's stderr) each line starts with its syslog priority, "<4>" for a warning, and
// the category, so the journal files it at its level; on a terminal or in a file a line
// reads "lonworks-driver: warning: ...". QT_MESSAGE_PATTERN, when set, overrides both, and
// QT_LOGGING_RULES chooses what is shown (docs/deployment.md).

#include <QString>

void InstallLogFormat(const QString &program);
// True when stderr is the journal's stream of a systemd service.
bool LogsToJournal();
