#pragma once

#include "Platform/UpdaterUserDriver.h"
#include "Vantle/Views/UpdateDialog.h"

#include <QPointer>

// The updater's windows as dialogs: one at a time, never modal to the rest of the
// application, brought forward when they open, over the window that was active then.
class DialogUpdaterUserDriver final : public UpdaterUserDriver {
public:
    DialogUpdaterUserDriver() = default;
    ~DialogUpdaterUserDriver() override;

    void showUpdateFound(const Offer &offer, UpdateCheck check, std::function<void(Choice)> reply) override;
    void showUpdateNotFound(const UpdaterError &error, std::function<void()> acknowledged) override;
    void showUpdaterError(const UpdaterError &error, std::function<void()> acknowledged) override;
    void dismiss() override;

    // The dialog on screen, if any: for tests and screenshots.
    UpdateDialog *currentDialog() const { return m_dialog; }

private:
    void present(UpdateDialog *dialog, std::function<void(bool accepted)> done);

    QPointer<UpdateDialog> m_dialog;
};
