#include "Vantle/Views/UpdateDialog.h"

#include "Platform/UrlOpener.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/FocusRing.h"
#include "Vantle/Views/TitleBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int dialogWidth = 440;
constexpr int buttonRadius = 8;

QString rgb(const QColor &color) { return color.name(QColor::HexRgb); }

QString dialogStyle()
{
    return QStringLiteral(
               "UpdateDialog { background: %1; }"
               "QLabel#updateTitle { color: %2; font-size: 17px; font-weight: 600; }"
               "QLabel#updateBody { color: %3; font-size: 13px; }"
               "QLabel#updateBadge { color: %4; background: %5; border-radius: 6px;"
               "  padding: 1px 8px; font-size: 11px; font-weight: 600; }"
               "QPushButton { font-size: 13px; border-radius: 8px; padding: 7px 16px; min-height: 18px; }"
               "QPushButton[role=\"primary\"] { color: %4; background: %5; border: none; font-weight: 600; }"
               "QPushButton[role=\"primary\"]:hover { background: %6; }"
               "QPushButton[role=\"secondary\"] { color: %2; background: %7; border: 1px solid %8; }"
               "QPushButton[role=\"secondary\"]:hover { border-color: %3; }"
               "QPushButton#releaseNotesLink { color: %5; background: transparent; border: none;"
               "  padding: 0; font-size: 13px; text-align: left; }"
               "QPushButton#releaseNotesLink:hover, QPushButton#releaseNotesLink:focus {"
               "  text-decoration: underline; }"
               // The buttons' focus is a ring of their own (FocusRing), not the style's dotted frame.
               "QPushButton:focus { outline: none; }")
        .arg(rgb(Theme::surface), rgb(Theme::text), rgb(Theme::muted), rgb(Theme::accentInk), rgb(Theme::accent),
             rgb(Theme::accent.lighter(110)), rgb(Theme::card), rgb(Theme::border));
}

} // namespace

UpdateDialog::UpdateDialog(QWidget *parent) : QDialog(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(dialogStyle());
    setFixedWidth(dialogWidth);
}

UpdateDialog *UpdateDialog::offer(const UpdaterUserDriver::Offer &offer, QWidget *parent)
{
    auto *dialog = new UpdateDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Software Update"));
    const QString name = offer.applicationName;
    dialog->build(QStringLiteral("%1 %2 is available").arg(name, offer.version),
                  QStringLiteral("You have %1. Get the new version from its download page, which opens in "
                                 "your browser.")
                      .arg(offer.currentVersion),
                  offer.channel);
    if (!offer.releaseNotes.isEmpty())
        dialog->addReleaseNotesLink(offer.releaseNotes);
    QPushButton *later = dialog->addButton(QStringLiteral("Later"), "laterButton", false);
    QPushButton *download = dialog->addButton(QStringLiteral("Open Download Page"), "downloadButton", true);
    connect(later, &QPushButton::clicked, dialog, &QDialog::reject);
    connect(download, &QPushButton::clicked, dialog, &QDialog::accept);
    download->setDefault(true);
    download->setFocus();
    dialog->fitHeight();
    return dialog;
}

UpdateDialog *UpdateDialog::notice(Notice notice, const QString &text, QWidget *parent)
{
    auto *dialog = new UpdateDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Software Update"));
    dialog->build(notice == Notice::upToDate ? QStringLiteral("You're up to date")
                                             : QStringLiteral("Couldn't check for updates"),
                  text, QString());
    QPushButton *ok = dialog->addButton(QStringLiteral("OK"), "okButton", true);
    connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    ok->setDefault(true);
    ok->setFocus();
    dialog->fitHeight();
    return dialog;
}

void UpdateDialog::fitHeight()
{
    // A top-level window does not follow its wrapped labels' height for its width: left to
    // itself it grows spare room between the rows. Fix the height to what the text needs,
    // measured with the style sheet's fonts in effect.
    ensurePolished();
    layout()->activate();
    setFixedHeight(layout()->hasHeightForWidth() ? layout()->heightForWidth(width())
                                                 : layout()->sizeHint().height());
}

QString UpdateDialog::titleText() const { return m_title->text(); }

QString UpdateDialog::bodyText() const { return m_body->text(); }

void UpdateDialog::build(const QString &title, const QString &body, const QString &badge)
{
    // Wider than the design where the title bar needs it: the title is cut, else.
    setFixedWidth(std::max(dialogWidth, TitleBar::widthFor(windowTitle())));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(8);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("updateTitle"));
    m_title->setTextFormat(Qt::PlainText);
    if (badge.isEmpty()) {
        header->addWidget(m_title, 1);
    } else {
        // The channel sits right after the title.
        header->addWidget(m_title, 0, Qt::AlignVCenter);
        auto *pill = new QLabel(badge, this);
        pill->setObjectName(QStringLiteral("updateBadge"));
        pill->setTextFormat(Qt::PlainText);
        header->addWidget(pill, 0, Qt::AlignVCenter);
        header->addStretch(1);
    }
    layout->addLayout(header);

    m_body = new QLabel(body, this);
    m_body->setObjectName(QStringLiteral("updateBody"));
    m_body->setWordWrap(true);
    // Feed and error texts are data: never let them render as markup.
    m_body->setTextFormat(Qt::PlainText);
    m_body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_body);

    m_links = new QWidget(this);
    auto *links = new QHBoxLayout(m_links);
    links->setContentsMargins(0, 0, 0, 0);
    m_links->hide();
    layout->addWidget(m_links);

    layout->addSpacing(10);
    m_buttons = new QWidget(this);
    auto *buttons = new QHBoxLayout(m_buttons);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);
    buttons->addStretch(1);
    layout->addWidget(m_buttons);
}

QPushButton *UpdateDialog::addButton(const QString &text, const char *objectName, bool primary)
{
    auto *button = new QPushButton(text, m_buttons);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setProperty("role", primary ? QStringLiteral("primary") : QStringLiteral("secondary"));
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    FocusRing::install(button, buttonRadius, primary ? FocusRing::Fill::accent : FocusRing::Fill::plain);
    m_buttons->layout()->addWidget(button);
    return button;
}

void UpdateDialog::addReleaseNotesLink(const QUrl &url)
{
    auto *link = new QPushButton(QStringLiteral("Release notes \u2197"), m_links);
    link->setObjectName(QStringLiteral("releaseNotesLink"));
    link->setCursor(Qt::PointingHandCursor);
    link->setAutoDefault(false);
    link->setFocusPolicy(Qt::TabFocus);
    connect(link, &QPushButton::clicked, this, [url]() { UrlOpener::open(url); });
    auto *row = static_cast<QHBoxLayout *>(m_links->layout());
    row->addWidget(link);
    row->addStretch(1);
    m_links->show();
}
