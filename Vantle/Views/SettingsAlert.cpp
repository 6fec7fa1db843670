#include "Vantle/Views/SettingsAlert.h"

#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/FocusRing.h"
#include "Vantle/Views/TitleBar.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace {

// The system's red for destructive actions on a dark background.
const QColor destructiveRed(0xFF, 0x45, 0x3A);
constexpr int buttonRadius = 6;

QString rgb(const QColor &color) { return color.name(QColor::HexRgb); }

QString alertStyle()
{
    return QStringLiteral(
               "SettingsAlert { background: %1; border: 1px solid %5; }"
               "QLabel { color: %2; }"
               "QLabel#qt_msgbox_label { font-size: 14px; font-weight: 600; min-width: 260px; }"
               "QLabel#qt_msgbox_informativelabel { color: %3; font-size: 13px; }"
               "QPushButton { font-size: 13px; border-radius: 6px; padding: 5px 14px; min-width: 56px;"
               "  color: %2; background: %4; border: 1px solid %5; }"
               "QPushButton:hover { border-color: %3; }"
               "QPushButton[role=\"destructive\"] { color: %6; }"
               "QPushButton:default { color: %7; background: %8; border: none; font-weight: 600; }"
               // The buttons' focus is a ring of their own (FocusRing), not the style's dotted frame.
               "QPushButton:focus { outline: none; }")
        .arg(rgb(Theme::surface), rgb(Theme::text), rgb(Theme::muted), rgb(Theme::card), rgb(Theme::border),
             rgb(destructiveRed), rgb(Theme::accentInk), rgb(Theme::accent));
}

} // namespace

SettingsAlert::SettingsAlert(const QString &title, const QString &message, QWidget *parent) : QMessageBox(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(alertStyle());
    setIcon(QMessageBox::NoIcon);
    setTextFormat(Qt::PlainText);
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setText(title);
    setInformativeText(message);
}

SettingsAlert *SettingsAlert::message(const QString &title, const QString &message, QWidget *parent)
{
    auto *alert = new SettingsAlert(title, message, parent);
    QPushButton *ok = alert->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    alert->m_cancel = ok;
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    FocusRing::install(ok, buttonRadius, FocusRing::Fill::accent);
    return alert;
}

SettingsAlert *SettingsAlert::confirmation(const QString &title, const QString &message,
                                           const QString &destructiveText, QWidget *parent)
{
    auto *alert = new SettingsAlert(title, message, parent);
    QPushButton *destructive = alert->addButton(escapedForButton(destructiveText), QMessageBox::DestructiveRole);
    destructive->setProperty("role", QStringLiteral("destructive"));
    // The style sheet matched the button before it had its role.
    destructive->style()->unpolish(destructive);
    destructive->style()->polish(destructive);
    QPushButton *cancel = alert->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert->m_destructive = destructive;
    alert->m_cancel = cancel;
    // Return must not destroy anything.
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    // The default button is the accent-filled one.
    FocusRing::install(destructive, buttonRadius, FocusRing::Fill::plain);
    FocusRing::install(cancel, buttonRadius, FocusRing::Fill::accent);
    return alert;
}

void SettingsAlert::showEvent(QShowEvent *event)
{
    // The box sizes itself to its texts here; its title can want more.
    QMessageBox::showEvent(event);
    const int missing = TitleBar::widthFor(windowTitle()) - width();
    auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (missing <= 0 || !label)
        return;
    // The box is as wide as its widest part: the text line grows, and the box follows when it
    // sizes itself again, as it does for a new text.
    label->setMinimumWidth(label->width() + missing);
    setText(text());
}

QString SettingsAlert::escapedForButton(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }
