#pragma once

#include <QString>

// What the application tells services about the system it runs on.
namespace SystemInfo {

// "linux": the platform every service request names.
QString platform();
// The distribution's name as the system reports it ("debian"), "linux" when unknown.
QString osName();
// The distribution's version as major.minor.patch ("12" reads "12.0.0"); when the system
// names none, the kernel's.
QString osVersion();
// The kernel release as the system reports it ("6.1.0-18-amd64").
QString kernelVersion();

// The first three dot-separated numbers of `version`, missing ones as 0; "0.0.0" when it
// starts with no number.
QString majorMinorPatch(const QString &version);

} // namespace SystemInfo
