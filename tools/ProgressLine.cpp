#include "tools/ProgressLine.h"

#include "tools/Output.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int TerminalWidth()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 8)
        return size.ws_col;
    return 80;
}

} // namespace

TProgressLine::TProgressLine()
{
    const QByteArray term = qgetenv("TERM");
    FEnabled = isatty(STDERR_FILENO) == 1 && term != "dumb";
}

TProgressLine::~TProgressLine()
{
    Clear();
}

void TProgressLine::Show(const QString &text)
{
    if (!FEnabled || (FShown && text == FText))
        return;
    FText = text;
    // Keep the line shorter than the terminal so that it never wraps.
    QString line = text.simplified();
    const int room = TerminalWidth() - 2;
    if (line.size() > room)
        line = line.left(room - 3) + QStringLiteral("...");
    WriteErr(QStringLiteral("\r\x1b[K") + line);
    FShown = true;
}

void TProgressLine::Clear()
{
    if (!FShown)
        return;
    WriteErr(QStringLiteral("\r\x1b[K"));
    FShown = false;
    FText.clear();
}
