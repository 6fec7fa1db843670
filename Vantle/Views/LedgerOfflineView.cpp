#include "Vantle/Views/LedgerOfflineView.h"

#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "OrvalenAccount/UI/OrvalenPanel.h"
#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"
#include "Platform/ApplicationFont.h"
#include "Platform/ButtonKeys.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Utilities/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QLabel *line(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

} // namespace

LedgerOfflineView::LedgerOfflineView(LedgerModel *ledger, QWidget *parent)
    : QWidget(parent), m_ledger(ledger)
{
    setObjectName(QStringLiteral("ledgerOffline"));
    // The sign-in screen's dark look, so the two offline states read as one.
    const OrvalenProviderButtonStyle style = OrvalenProviderButtonStyle::dark(Theme::accent);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);
    auto *card = new OrvalenPanel(style.panel(), style.hairline(), 12, this);
    card->setObjectName(QStringLiteral("offlineCard"));
    card->setFixedWidth(340);
    auto *column = new QVBoxLayout(card);
    // Retry's focus ring stands in the room round its outline: the margin below, and the gap
    // above it, leave that room out.
    column->setContentsMargins(18, 18, 18, 18 - OrvalenOutlineButton::ringRoom);
    column->setSpacing(6);
    column->addWidget(line(title, ApplicationFont::sized(15, QFont::DemiBold), style.text(), card));
    column->addWidget(line(text, ApplicationFont::sized(13), style.secondaryText(), card));
    column->addSpacing(8 - OrvalenOutlineButton::ringRoom);
    m_retry = new OrvalenOutlineButton(retryTitle, style.accent(), card);
    m_retry->setObjectName(QStringLiteral("retry"));
    column->addWidget(m_retry, 0, Qt::AlignHCenter);
    // Centred by stretches, not by alignment: an aligned widget gets its size hint, and the
    // wrapped text would lose its second line.
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(card);
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);

    m_tryingShown.setSingleShot(true);
    m_tryingShown.setInterval(minimumTrying);
    connect(&m_tryingShown, &QTimer::timeout, this, &LedgerOfflineView::sync);
    connect(m_retry, &QAbstractButton::clicked, this, &LedgerOfflineView::retry);
    if (m_ledger)
        connect(m_ledger, &LedgerModel::isRefreshingChanged, this, &LedgerOfflineView::sync);
    sync();
}

void LedgerOfflineView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The only control: the keyboard is on it as the card comes, ring and Return included.
    if (!event->spontaneous() && !m_retry->hasFocus())
        m_retry->takeKeyboardFocus();
}

void LedgerOfflineView::keyPressEvent(QKeyEvent *event)
{
    // Return presses Retry wherever the focus is in the card (a focused Retry takes it itself).
    if (ButtonKeys::isActivation(event)) {
        m_retry->animateClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LedgerOfflineView::retry()
{
    const bool busy = m_tryingShown.isActive() || (m_ledger && m_ledger->isRefreshing());
    if (!m_ledger || busy)
        return;
    m_tryingShown.start();
    m_ledger->retryNow();
    sync();
}

void LedgerOfflineView::sync()
{
    const bool busy = m_tryingShown.isActive() || (m_ledger && m_ledger->isRefreshing());
    m_retry->setText(busy ? retryingTitle : retryTitle);
    m_retry->setAccessibleName(m_retry->text());
    // Kept enabled while it waits: a focused button that turns disabled hands its focus on.
    m_retry->updateGeometry();
}
