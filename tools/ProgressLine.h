#pragma once
// The one updating line on a terminal that shows what the driver is doing (its
// COMMANDSTATUS text) while lonctl waits. Silent when stderr is not a terminal.

#include <QString>

class TProgressLine
{
public:
    TProgressLine();
    ~TProgressLine();
    TProgressLine(const TProgressLine &) = delete;
    TProgressLine &operator=(const TProgressLine &) = delete;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled) { FEnabled = enabled; }
    void Show(const QString &text);
    void Clear();   // removes the line, so that normal output starts on a clean line

private:
    bool FEnabled = false;
    bool FShown = false;
    QString FText;
};
