#pragma once

#include <string>

#include "common/crash/CrashReport.h"
#include "common/crash/CrashReportDatabase.h"

// Uploads the pending reports of a crash report database to the monitoring service, one
// multipart/form-data POST per report: a field per annotation and the report text as the file
// "upload_file_minidump". An uploaded report moves to "completed"; one that could not be sent
// stays pending for the next pass. Needs a QCoreApplication.
class CrashReportUploader {
public:
    CrashReportUploader(common::CrashReportDatabase database, std::string url);

    // Uploads every pending report; true when none is left pending.
    bool uploadPending();

private:
    bool upload(const common::CrashReport& report);

    common::CrashReportDatabase _database;
    std::string _url;
};
