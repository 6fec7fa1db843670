#include "Platform/UrlOpener.h"

#include <QDesktopServices>

bool UrlOpener::open(const QUrl &url)
{
    // A relative address would be resolved by the desktop against something we
    // do not control (often the working directory): refuse it outright.
    if (!url.isValid() || url.isRelative() || url.scheme().isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}
