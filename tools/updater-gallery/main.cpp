// Renders the updater's windows to PNG files, offscreen, so their look can be checked
// without a display:
//
//   updater-gallery <output folder> [--scale <factor>]
//
// Writes offer-stable.png, offer-beta.png, up-to-date.png and error.png, each with no button
// focused, and offer-download-focused.png, offer-later-focused.png and up-to-date-focused.png
// with the keyboard on the button they name. A focused picture is taken only when the button
// has the focus; otherwise the gallery says so and exits with 1.

#include "Vantle/Views/UpdateDialog.h"

#include "Platform/ApplicationFont.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

UpdaterUserDriver::Offer offer(const QString &version, const QString &channel, bool notes)
{
    UpdaterUserDriver::Offer o;
    o.applicationName = QStringLiteral("vantle");
    o.currentVersion = QStringLiteral("0.1.0");
    o.version = version;
    o.channel = channel;
    if (notes)
        o.releaseNotes = QUrl(QStringLiteral("https://vantle.orvalen.dev/releases/%1").arg(version));
    o.downloadPage = QUrl(QStringLiteral("https://vantle.orvalen.dev/download"));
    return o;
}

// `focused`: the object name of the button the keyboard is on in the picture; none focused
// when empty.
bool save(UpdateDialog *dialog, const QString &folder, const QString &name, qreal scale, const char *focused = nullptr)
{
    std::unique_ptr<UpdateDialog> owned(dialog);
    dialog->adjustSize();
    dialog->show();
    QApplication::processEvents();
    if (focused) {
        dialog->activateWindow();
        QElapsedTimer waited;
        waited.start();
        while (QApplication::activeWindow() != dialog && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        auto *button = dialog->findChild<QWidget *>(QString::fromLatin1(focused));
        if (button)
            button->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        if (!button || !button->hasFocus()) {
            std::fprintf(stderr, "updater-gallery: %s.png not taken: %s has no focus\n", qPrintable(name), focused);
            return false;
        }
    }
    QPixmap pixmap = dialog->grab();
    if (scale != 1.0)
        pixmap = pixmap.scaled(pixmap.size() * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool ok = pixmap.save(path);
    QTextStream(stdout) << path << ' ' << dialog->width() << 'x' << dialog->height() << (ok ? "" : " FAILED")
                        << '\n';
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplicationFont::apply();
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: updater-gallery <output folder> [--scale <factor>]\n");
        return 2;
    }
    const QString folder = args.at(1);
    qreal scale = 1.0;
    if (const auto i = args.indexOf(QStringLiteral("--scale")); i > 0 && i + 1 < args.size())
        scale = args.at(i + 1).toDouble();
    if (!QDir().mkpath(folder))
        return 1;

    bool ok = true;
    ok &= save(UpdateDialog::offer(offer(QStringLiteral("1.4"), QString(), true)), folder,
               QStringLiteral("offer-stable"), scale);
    ok &= save(UpdateDialog::offer(offer(QStringLiteral("1.5"), QStringLiteral("beta"), false)), folder,
               QStringLiteral("offer-beta"), scale);
    ok &= save(UpdateDialog::offer(offer(QStringLiteral("1.4"), QString(), true)), folder,
               QStringLiteral("offer-download-focused"), scale, "downloadButton");
    ok &= save(UpdateDialog::offer(offer(QStringLiteral("1.4"), QString(), true)), folder,
               QStringLiteral("offer-later-focused"), scale, "laterButton");
    ok &= save(UpdateDialog::notice(UpdateDialog::Notice::upToDate,
                                    QStringLiteral("vantle 0.1.0 is the newest version available.")),
               folder, QStringLiteral("up-to-date-focused"), scale, "okButton");
    ok &= save(UpdateDialog::notice(UpdateDialog::Notice::upToDate,
                                    QStringLiteral("vantle 0.1.0 is the newest version available.")),
               folder, QStringLiteral("up-to-date"), scale);
    ok &= save(UpdateDialog::notice(UpdateDialog::Notice::error,
                                    QStringLiteral("The newest release in the update feed is not signed with this "
                                                   "build's key, so it is not offered.")),
               folder, QStringLiteral("error"), scale);
    return ok ? 0 : 1;
}
