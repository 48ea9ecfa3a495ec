#include "JobCodes.h"

#include <array>

namespace {

struct TJobRow
{
    int Code;
    const char *Keyword;
    const char *Progress;
};

constexpr std::array<TJobRow, 15> JobTable{{
    {jobDisconnect, nullptr, "Disconnecting..."},
    {jobSiteTime, "SITETIME", "Reading Site Time..."},
    {jobSiteStatus, "SITESTATUS", "Reading Site Status..."},
    {jobPointVerify, "POINTVERIFY", "Verifying Point Address..."},
    {jobGetData, "GETDATA", "Reading Data..."},
    {jobSendData, "SENDDATA", "Writing Data..."},
    {jobSendPointsList, "SENDPOINTSLIST", "Writing Data..."},
    {jobGetPointsList, "GETPOINTSLIST", "Reading Data..."},
    {jobPointModify, "POINTMODIFY", "Modifying Point..."},
    {jobPointGetDisabled, "POINTGETDISABLED", "Reading Point State..."},
    {jobPointGetValue, "POINTGETVALUE", "Reading Point Value..."},
    {jobGetAlarms, "GETALARMS", "Reading Data..."},
    {jobGetSchedule, "GETSCHEDULE", "Reading Schedule..."},
    {jobSetSchedule, "SETSCHEDULE", "Writing Schedule..."},
    {jobGetTrendData, "GETTRENDDATA", "Reading Trend Data..."},
}};

} // namespace

int JobCodeForKeyword(const QString &keyword)
{
    for (const TJobRow &row : JobTable)
        if (row.Keyword && keyword == QLatin1String(row.Keyword))
            return row.Code;
    return jobNone;
}

QString JobProgressText(int jobCode)
{
    for (const TJobRow &row : JobTable)
        if (row.Code == jobCode)
            return QString::fromLatin1(row.Progress);
    return {};
}

bool IsClientJob(int jobCode)
{
    return jobCode >= jobSiteTime && jobCode <= jobGetTrendData && jobCode != 11;
}
