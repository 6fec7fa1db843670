#pragma once

#include "Platform/UpdaterUserDriver.h"

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

// The updater's window: the offer of a newer release, or the outcome of a check the
// person asked for. Dark, like the rest of the application. Accepting the offer means
// "open the download page"; the page itself is opened by the updater, not here. The
// release notes open in the browser from the link in the dialog.
class UpdateDialog final : public QDialog {
    Q_OBJECT
public:
    enum class Notice {
        upToDate,
        error,
    };

    // Accepted: the person chose the download page; rejected: later (or closed it).
    static UpdateDialog *offer(const UpdaterUserDriver::Offer &offer, QWidget *parent = nullptr);
    // One button; any way of closing it acknowledges the outcome.
    static UpdateDialog *notice(Notice notice, const QString &text, QWidget *parent = nullptr);

    QString titleText() const;
    QString bodyText() const;

private:
    explicit UpdateDialog(QWidget *parent);
    void build(const QString &title, const QString &body, const QString &badge);
    QPushButton *addButton(const QString &text, const char *objectName, bool primary);
    void addReleaseNotesLink(const QUrl &url);
    void fitHeight();

    QLabel *m_title = nullptr;
    QLabel *m_body = nullptr;
    QWidget *m_links = nullptr;
    QWidget *m_buttons = nullptr;
};
