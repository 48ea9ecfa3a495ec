#pragma once
// The table of lonctl's commands: name, arguments, help texts, options and the function
// that runs each; and the general help built from it.

#include <QCommandLineParser>
#include <QList>
#include <QString>

class TCommandContext;

struct TCommandInfo
{
    QString Name;
    QString Arguments;      // synopsis of the positional arguments ("ADDRESS VALUE HEXBYTES")
    QString Summary;        // one line for the command list
    QString Description;    // the paragraph(s) of `lonctl NAME --help`
    QString Examples;       // command lines shown under Examples:, one per line
    bool SiteCommand = false;
    int MinArguments = 0;
    int MaxArguments = 0;   // -1: any number
    int DefaultTimeoutSeconds = 60;
    void (*AddOptions)(QCommandLineParser &) = nullptr;
    int (*Run)(TCommandContext &) = nullptr;
};

const QList<TCommandInfo> &CommandTable();
const TCommandInfo *FindCommand(const QString &name);
QString GeneralHelp();

// The run functions, one file per group of commands.
int RunDecode(TCommandContext &context);
int RunEncode(TCommandContext &context);
int RunExpand(TCommandContext &context);
int RunSnvt(TCommandContext &context);
int RunTypes(TCommandContext &context);
int RunInterfaces(TCommandContext &context);
int RunXif(TCommandContext &context);
int RunStatus(TCommandContext &context);
int RunTime(TCommandContext &context);
int RunVerify(TCommandContext &context);
int RunLock(TCommandContext &context);
int RunUnlock(TCommandContext &context);
int RunDiscover(TCommandContext &context);
int RunRead(TCommandContext &context);
int RunWrite(TCommandContext &context);
int RunDisabled(TCommandContext &context);
int RunFile(TCommandContext &context);
int RunWatch(TCommandContext &context);

// Options of single commands.
void AddExpandOptions(QCommandLineParser &parser);
void AddVerifyOptions(QCommandLineParser &parser);
void AddWriteOptions(QCommandLineParser &parser);
void AddWatchOptions(QCommandLineParser &parser);
void AddFileOptions(QCommandLineParser &parser);
void AddLockOptions(QCommandLineParser &parser);
