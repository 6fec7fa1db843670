#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One file of the diagnostic report's zip.
struct ReportZipMember {
    QString name;
    QByteArray data;
};

// The zip writer of the diagnostic report lives in the module "vantle-report-zip" (the zip
// library and what it pulls in), loaded when a report is first built.
namespace ReportZip {

inline const QString moduleName = QStringLiteral("vantle-report-zip");
// extern "C" bool vantle_report_zip(const QList<ReportZipMember> &members, QByteArray *zip):
// writes the zip of `members`, in order, each readable by its owner only, with UTF-8 names;
// false when it could not be made.
inline const char *const symbol = "vantle_report_zip";
using Function = bool (*)(const QList<ReportZipMember> &members, QByteArray *zip);

} // namespace ReportZip
