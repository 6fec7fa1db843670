#include "OrvalenAccount/UI/OrvalenSignInScreen.h"

#include "Platform/ApplicationFont.h"
#include "OrvalenAccount/UI/OrvalenLinkButton.h"
#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "OrvalenAccount/UI/OrvalenPanel.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "OrvalenAccount/UI/OrvalenSpinner.h"
#include "Platform/ButtonKeys.h"
#include "Platform/UrlOpener.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <utility>

namespace {
constexpr int kColumnWidth = 340;
constexpr int kIconSize = 64;

QLabel *label(const QFont &font, Qt::Alignment alignment, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setFont(font);
    l->setAlignment(alignment);
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    return l;
}

void setTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label->setPalette(palette);
}
} // namespace

OrvalenSignInScreen::OrvalenSignInScreen(QIcon appIcon, QString appName, QString valueProp,
                                         OrvalenProviderButtonStyle style, Phase phase, QUrl privacyURL,
                                         QUrl termsURL, std::function<void(ProviderHint)> onTap,
                                         std::function<void()> onCancel, std::function<void()> onRetry,
                                         QWidget *parent)
    : QWidget(parent)
    , m_appName(std::move(appName))
    , m_style(style)
    , m_phase(std::move(phase))
    , m_privacyURL(std::move(privacyURL))
    , m_termsURL(std::move(termsURL))
    , m_onCancel(std::move(onCancel))
    , m_onRetry(std::move(onRetry))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);

    auto *column = new QWidget(this);
    column->setFixedWidth(kColumnWidth);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_icon = new QLabel(column);
    m_icon->setFixedSize(kIconSize, kIconSize);
    m_icon->setAlignment(Qt::AlignCenter);
    if (!appIcon.isNull()) {
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap = appIcon.pixmap(QSize(kIconSize, kIconSize), ratio);
        m_icon->setPixmap(pixmap);
    }
    m_icon->setVisible(!appIcon.isNull());
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addSpacing(appIcon.isNull() ? 0 : 16);

    m_name = label(ApplicationFont::sized(27, QFont::Bold), Qt::AlignHCenter, column);
    m_name->setText(m_appName);
    m_name->setObjectName(QStringLiteral("appName"));
    layout->addWidget(m_name);
    layout->addSpacing(6);

    m_valueProp = label(ApplicationFont::sized(15), Qt::AlignHCenter, column);
    m_valueProp->setText(valueProp);
    m_valueProp->setObjectName(QStringLiteral("valueProp"));
    layout->addWidget(m_valueProp);
    layout->addSpacing(28);

    // Error row: the failure's own words, above the buttons that try again.
    m_errorRow = new OrvalenPanel(m_style.errorFill(), Qt::transparent, 8, column);
    m_errorRow->setObjectName(QStringLiteral("errorRow"));
    auto *errorLayout = new QHBoxLayout(m_errorRow);
    errorLayout->setContentsMargins(12, 9, 12, 9);
    m_errorText = label(ApplicationFont::sized(13), Qt::AlignLeft | Qt::AlignVCenter, m_errorRow);
    m_errorText->setObjectName(QStringLiteral("errorText"));
    errorLayout->addWidget(m_errorText);
    layout->addWidget(m_errorRow);

    m_progressRow = new QWidget(column);
    m_progressRow->setObjectName(QStringLiteral("progressRow"));
    auto *progressLayout = new QHBoxLayout(m_progressRow);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(8);
    progressLayout->addStretch(1);
    m_spinner = new OrvalenSpinner(m_style.secondaryText(), 14, m_progressRow);
    progressLayout->addWidget(m_spinner);
    m_progressText = label(ApplicationFont::sized(14), Qt::AlignLeft | Qt::AlignVCenter, m_progressRow);
    m_progressText->setWordWrap(false);
    m_progressText->setText(progressText(m_appName));
    m_progressText->setObjectName(QStringLiteral("progressText"));
    progressLayout->addWidget(m_progressText);
    progressLayout->addStretch(1);
    layout->addWidget(m_progressRow);

    m_offlineCard = new OrvalenPanel(m_style.panel(), m_style.hairline(), 12, column);
    m_offlineCard->setObjectName(QStringLiteral("offlineCard"));
    auto *offlineLayout = new QVBoxLayout(m_offlineCard);
    // Retry's focus ring stands in the room round its outline: the margin below, and the gap
    // above it, leave that room out.
    offlineLayout->setContentsMargins(18, 18, 18, 18 - OrvalenOutlineButton::ringRoom);
    offlineLayout->setSpacing(6);
    m_offlineTitle = label(ApplicationFont::sized(15, QFont::DemiBold), Qt::AlignHCenter, m_offlineCard);
    m_offlineTitle->setText(offlineTitle);
    offlineLayout->addWidget(m_offlineTitle);
    m_offlineText = label(ApplicationFont::sized(13), Qt::AlignHCenter, m_offlineCard);
    m_offlineText->setText(offlineText);
    offlineLayout->addWidget(m_offlineText);
    offlineLayout->addSpacing(8 - OrvalenOutlineButton::ringRoom);
    m_retry = new OrvalenOutlineButton(retryTitle, m_style.accent(), m_offlineCard);
    m_retry->setObjectName(QStringLiteral("retry"));
    connect(m_retry, &QAbstractButton::clicked, this, [this] {
        if (m_phase.kind() == Phase::Kind::offline && m_onRetry)
            m_onRetry();
    });
    offlineLayout->addWidget(m_retry, 0, Qt::AlignHCenter);
    layout->addWidget(m_offlineCard);

    m_gap = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->addSpacerItem(m_gap);
    std::function<void()> cancel;
    if (m_onCancel)
        cancel = [this] { m_onCancel(); };
    m_buttons = new OrvalenProviderButtons(m_style, false, std::move(cancel), std::move(onTap), column);
    layout->addWidget(m_buttons);
    // Escape cancels a sign-in in progress as "Cancel sign-in" does, wherever the focus is
    // (often nowhere here: the person comes back from the browser).
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setContext(Qt::WindowShortcut);
    m_escape->setAutoRepeat(false);
    connect(m_escape, &QShortcut::activated, this, [this] {
        if (OrvalenLinkButton *cancelButton = m_buttons->cancelButton())
            cancelButton->click();
    });
    layout->addSpacing(22);

    auto *links = new QWidget(column);
    auto *linksLayout = new QHBoxLayout(links);
    linksLayout->setContentsMargins(0, 0, 0, 0);
    linksLayout->setSpacing(6);
    const QFont linkFont = ApplicationFont::sized(13);
    m_terms = new OrvalenLinkButton(termsTitle, linkFont, m_style.secondaryText(), links);
    m_terms->setObjectName(QStringLiteral("termsLink"));
    m_terms->setToolTip(m_termsURL.toString());
    connect(m_terms, &QAbstractButton::clicked, this, [this] { UrlOpener::open(m_termsURL); });
    m_linkSeparator = label(linkFont, Qt::AlignCenter, links);
    m_linkSeparator->setText(QStringLiteral("\u00B7"));
    m_privacy = new OrvalenLinkButton(privacyTitle, linkFont, m_style.secondaryText(), links);
    m_privacy->setObjectName(QStringLiteral("privacyLink"));
    m_privacy->setToolTip(m_privacyURL.toString());
    connect(m_privacy, &QAbstractButton::clicked, this, [this] { UrlOpener::open(m_privacyURL); });
    linksLayout->addStretch(1);
    linksLayout->addWidget(m_terms);
    linksLayout->addWidget(m_linkSeparator);
    linksLayout->addWidget(m_privacy);
    linksLayout->addStretch(1);
    layout->addWidget(links);

    outer->addWidget(column, 0, Qt::AlignHCenter);
    outer->addStretch(1);

    restyle();
    sync();
}

QString OrvalenSignInScreen::progressText(const QString &appName)
{
    return QStringLiteral("Signing in to ") + appName + QStringLiteral("\u2026");
}

void OrvalenSignInScreen::setPhase(const Phase &phase)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    sync();
}

void OrvalenSignInScreen::setButtonStyle(const OrvalenProviderButtonStyle &style)
{
    if (m_style == style)
        return;
    m_style = style;
    restyle();
}

void OrvalenSignInScreen::restyle()
{
    setTextColor(m_name, m_style.text());
    setTextColor(m_valueProp, m_style.secondaryText());
    setTextColor(m_errorText, m_style.errorText());
    setTextColor(m_progressText, m_style.secondaryText());
    setTextColor(m_offlineTitle, m_style.text());
    setTextColor(m_offlineText, m_style.secondaryText());
    setTextColor(m_linkSeparator, m_style.secondaryText());
    m_errorRow->setColors(m_style.errorFill(), Qt::transparent);
    m_offlineCard->setColors(m_style.panel(), m_style.hairline());
    m_spinner->setColor(m_style.secondaryText());
    m_retry->setAccent(m_style.accent());
    m_terms->setColor(m_style.secondaryText());
    m_privacy->setColor(m_style.secondaryText());
    m_buttons->setButtonStyle(m_style);
}

void OrvalenSignInScreen::keyPressEvent(QKeyEvent *event)
{
    // Offline, Return presses Retry, the screen's main button, wherever the focus is in it
    // (a focused button or link takes Return itself).
    if (m_phase.kind() == Phase::Kind::offline && ButtonKeys::isActivation(event)) {
        m_retry->animateClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OrvalenSignInScreen::sync()
{
    using Kind = Phase::Kind;
    const Kind kind = m_phase.kind();
    m_errorText->setText(kind == Kind::error ? m_phase.message() : QString());
    // Focus in a part about to be hidden moves to the part that takes its place, so Qt does
    // not pass it on as if the person had pressed Tab.
    const QWidget *focused = QApplication::focusWidget();
    if (kind == Kind::offline && focused && m_buttons->isAncestorOf(focused)) {
        m_offlineCard->setVisible(true);
        PaintedButton::handFocus(focused, m_retry);
    } else if (kind != Kind::offline && focused && m_offlineCard->isAncestorOf(focused)) {
        m_buttons->setVisible(true);
        PaintedButton::handFocus(focused, m_buttons->button(ProviderHint::apple));
    }
    m_errorRow->setVisible(kind == Kind::error);
    m_progressRow->setVisible(kind == Kind::busy);
    m_offlineCard->setVisible(kind == Kind::offline);
    // Retry is the way on: the keyboard is on it as the card comes, unless the person put
    // the focus somewhere in the screen themselves.
    const QWidget *windowFocus = window()->focusWidget();
    if (kind == Kind::offline && (!windowFocus || windowFocus == window()))
        m_retry->takeKeyboardFocus();
    // Offline, the buttons could only fail again: the card's Retry is the way on.
    m_buttons->setVisible(kind != Kind::offline);
    m_buttons->setBusy(kind == Kind::busy);
    m_escape->setEnabled(m_buttons->cancelButton() != nullptr);

    // The rows above the buttons keep a steady gap to them.
    m_gap->changeSize(0, (kind == Kind::error || kind == Kind::busy) ? 14 : 0, QSizePolicy::Minimum,
                      QSizePolicy::Fixed);
    m_buttons->parentWidget()->layout()->invalidate();
}
