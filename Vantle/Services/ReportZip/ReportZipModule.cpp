#include "Vantle/Services/ReportZip.h"

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <QBuffer>
#include <QFileDevice>

namespace {

bool addMember(QuaZip &zip, const ReportZipMember &file)
{
    QuaZipFile member(&zip);
    QuaZipNewInfo info(file.name);
    info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!member.open(QIODevice::WriteOnly, info))
        return false;
    const bool written = member.write(file.data) == file.data.size();
    member.close();
    return written && member.getZipError() == 0;
}

} // namespace

// The module's one entry, which the diagnostic report looks up by name.
extern "C" Q_DECL_EXPORT bool vantle_report_zip(const QList<ReportZipMember> &members, QByteArray *zip)
{
    try {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QuaZip archive(&buffer);
        archive.setUtf8Enabled(true);
        if (!archive.open(QuaZip::mdCreate))
            return false;
        bool ok = true;
        for (const ReportZipMember &member : members)
            ok = ok && addMember(archive, member);
        archive.close();
        if (!ok || archive.getZipError() != 0)
            return false;
        *zip = std::move(bytes);
        return true;
    } catch (...) {
        return false;
    }
}
