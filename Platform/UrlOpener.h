#pragma once

#include <QUrl>

// Opens a web address in the user's default browser (or hands any other absolute
// URL to the desktop's handler for its scheme). Tests see every open through
// QDesktopServices::setUrlHandler, which QDesktopServices consults first.
class UrlOpener final {
public:
    UrlOpener() = delete;

    // False for a relative or invalid URL (nothing is opened), else the
    // desktop's answer whether a handler took it.
    static bool open(const QUrl &url);
};
