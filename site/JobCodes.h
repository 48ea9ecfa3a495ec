#pragma once
// The jobs a site form runs on its tick: their codes, the COMMAND keywords that start
// them and the progress text a client sees while one is under way.

#include <QString>

enum TJobCode : int {
    jobNone = 0,
    jobDisconnect = 2,
    jobSiteTime = 4,
    jobSiteStatus = 5,
    jobPointVerify = 6,
    jobGetData = 7,
    jobSendData = 8,
    jobSendPointsList = 9,
    jobGetPointsList = 10,
    jobPointModify = 12,
    jobPointGetDisabled = 13,
    jobPointGetValue = 14,
    jobGetAlarms = 15,
    jobGetSchedule = 16,
    jobSetSchedule = 17,
    jobGetTrendData = 18,
};

// The job code of a COMMAND keyword (exact, case-sensitive); 0 for any other text.
int JobCodeForKeyword(const QString &keyword);
// The progress text of a job code; empty for codes that have no job.
QString JobProgressText(int jobCode);
// True for the codes a client may start (4 to 18 except 11).
bool IsClientJob(int jobCode);
