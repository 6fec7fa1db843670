#include "Vantle/Views/DialogUpdaterUserDriver.h"

#include "Vantle/Views/UpdateDialog.h"

#include <QApplication>

#include <utility>

DialogUpdaterUserDriver::~DialogUpdaterUserDriver() { dismiss(); }

void DialogUpdaterUserDriver::showUpdateFound(const Offer &offer, UpdateCheck, std::function<void(Choice)> reply)
{
    present(UpdateDialog::offer(offer), [reply = std::move(reply)](bool accepted) {
        reply(accepted ? Choice::download : Choice::later);
    });
}

void DialogUpdaterUserDriver::showUpdateNotFound(const UpdaterError &error, std::function<void()> acknowledged)
{
    present(UpdateDialog::notice(UpdateDialog::Notice::upToDate, error.localizedDescription()),
            [acknowledged = std::move(acknowledged)](bool) { acknowledged(); });
}

void DialogUpdaterUserDriver::showUpdaterError(const UpdaterError &error, std::function<void()> acknowledged)
{
    present(UpdateDialog::notice(UpdateDialog::Notice::error, error.localizedDescription()),
            [acknowledged = std::move(acknowledged)](bool) { acknowledged(); });
}

void DialogUpdaterUserDriver::dismiss()
{
    const QPointer<UpdateDialog> dialog = std::exchange(m_dialog, nullptr);
    if (!dialog)
        return;
    // Closing it here is the updater's doing, not the person's answer. Later, not now:
    // this may run from inside the dialog's own finished signal.
    QObject::disconnect(dialog, &QDialog::finished, nullptr, nullptr);
    dialog->hide();
    dialog->deleteLater();
}

void DialogUpdaterUserDriver::present(UpdateDialog *dialog, std::function<void(bool accepted)> done)
{
    dismiss();
    m_dialog = dialog;
    // In front of the window that asked (the settings, say): a dialog without a parent would
    // belong to the toolkit's hidden helper window, and the desktop may stack it behind.
    // Never a dialog, though: an alert that deletes itself on closing, or the offer just
    // dismissed, would take this dialog with it, and the updater would wait for an answer
    // that never comes.
    QWidget *asking = QApplication::activeWindow();
    while (qobject_cast<QDialog *>(asking))
        asking = asking->parentWidget() ? asking->parentWidget()->window() : nullptr;
    if (asking && !dialog->parentWidget())
        dialog->setParent(asking, dialog->windowFlags());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, [done = std::move(done)](int result) {
        done(result == QDialog::Accepted);
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}
