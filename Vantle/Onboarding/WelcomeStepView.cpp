#include "Vantle/Onboarding/WelcomeStepView.h"

#include "Platform/ApplicationFont.h"
#include "Platform/ButtonKeys.h"
#include "Platform/UrlOpener.h"
#include "Vantle/Onboarding/VantleLogo.h"
#include "Vantle/Onboarding/WelcomeAccentButton.h"
#include "Vantle/Onboarding/WelcomeCheckboxRow.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Utilities/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
constexpr int kColumn = 380;
constexpr int kLogo = 56;

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

// A rounded card: Theme.card inside a one-point Theme.border line.
class Card final : public QWidget {
public:
    Card(qreal radius, QWidget *parent) : QWidget(parent), m_radius(radius) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
        painter.fillPath(shape, Theme::card);
        painter.setPen(QPen(Theme::border, 1));
        painter.drawPath(shape);
    }

private:
    qreal m_radius;
};

// A sentence with links that Tab steps through: the focus arriving by Tab lands on the first
// link (by Backtab on the last), not on the sentence as a whole, which shows nothing.
class LinksLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QLabel::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
            QLabel::focusNextPrevChild(event->reason() == Qt::TabFocusReason);
    }
};

QString linked(const QString &sentence, const QString &run, const QString &href)
{
    QString html = sentence;
    const qsizetype at = html.indexOf(run);
    if (at < 0)
        return html;
    const QString anchor = QStringLiteral("<a href=\"%1\" style=\"color:%2; text-decoration:none\">%3</a>")
                               .arg(href, Theme::text.name(), run);
    return html.replace(at, run.size(), anchor);
}

// The column of the sentence, the card and the button: as wide as the window allows, at
// most 380, centred.
QWidget *centredColumn(QVBoxLayout *layout, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);
    auto *column = new QWidget(row);
    column->setMaximumWidth(kColumn);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    rowLayout->addStretch(1);
    rowLayout->addWidget(column, 1000);
    rowLayout->addStretch(1);
    layout->addWidget(row);
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(18);
    return column;
}
} // namespace

WelcomeStepView::WelcomeStepView(QUrl termsURL, QUrl privacyURL, QWidget *parent) : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    // The step's controls take the focus; the area around them is no Tab stop of its own.
    scroll->setFocusPolicy(Qt::NoFocus);
    // A thin bar that belongs on the dark canvas, for windows too short for the step.
    scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 46); border-radius: 2px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    outer->addWidget(scroll);

    auto *content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(32, 0, 32, 0);
    layout->setSpacing(18);
    layout->addStretch(1);

    auto *header = new QWidget(content);
    auto *headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(10);
    auto *logo = new QLabel(header);
    logo->setObjectName(QStringLiteral("brandMark"));
    logo->setFixedSize(kLogo, kLogo);
    logo->setPixmap(VantleLogo::pixmap(kLogo, devicePixelRatioF()));
    headerLayout->addWidget(logo, 0, Qt::AlignHCenter);
    auto *heading = new QLabel(title, header);
    heading->setObjectName(QStringLiteral("title"));
    heading->setFont(ApplicationFont::sized(17, QFont::Bold));
    QPalette headingPalette = heading->palette();
    headingPalette.setColor(QPalette::WindowText, Theme::text);
    heading->setPalette(headingPalette);
    headerLayout->addWidget(heading, 0, Qt::AlignHCenter);
    layout->addWidget(header, 0, Qt::AlignHCenter);

    QWidget *column = centredColumn(layout, content);
    auto *columnLayout = static_cast<QVBoxLayout *>(column->layout());

    // The sentence the person accepts, each document's name a link to it.
    auto *sentenceCard = new Card(10, column);
    auto *sentenceLayout = new QVBoxLayout(sentenceCard);
    sentenceLayout->setContentsMargins(14, 14, 14, 14);
    m_terms = new LinksLabel(sentenceCard);
    m_terms->setObjectName(QStringLiteral("consentSentence"));
    m_terms->setFont(ApplicationFont::sized(13));
    m_terms->setWordWrap(true);
    m_terms->setAlignment(Qt::AlignHCenter);
    m_terms->setTextFormat(Qt::RichText);
    m_terms->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_terms->setOpenExternalLinks(false);
    QString html = linked(WelcomeConsent::sentence, WelcomeConsent::termsRun, termsURL.toString(QUrl::FullyEncoded));
    html = linked(html, WelcomeConsent::privacyRun, privacyURL.toString(QUrl::FullyEncoded));
    m_terms->setText(html);
    QPalette termsPalette = m_terms->palette();
    termsPalette.setColor(QPalette::WindowText, withAlpha(Theme::text, 0.72));
    m_terms->setPalette(termsPalette);
    connect(m_terms, &QLabel::linkActivated, this, [](const QString &link) { UrlOpener::open(QUrl(link)); });
    sentenceLayout->addWidget(m_terms);
    columnLayout->addWidget(sentenceCard);

    m_card = new Card(14, column);
    m_card->setObjectName(QStringLiteral("consentCard"));
    auto *cardLayout = new QVBoxLayout(m_card);
    const int ring = WelcomeCheckboxRow::ringRoom;
    cardLayout->setContentsMargins(14 - ring, 14 - ring, 14, 14 - ring);
    cardLayout->setSpacing(12 - 2 * ring);
    m_appRow = new WelcomeCheckboxRow(WelcomeConsent::appListLabel, m_card);
    m_appRow->setObjectName(WelcomeConsent::appListSlug);
    m_studioRow = new WelcomeCheckboxRow(WelcomeConsent::studioListLabel, m_card);
    m_studioRow->setObjectName(WelcomeConsent::studioListSlug);
    cardLayout->addWidget(m_appRow);
    cardLayout->addWidget(m_studioRow);
    connect(m_appRow, &QAbstractButton::clicked, this, [this] { Q_EMIT optInTapped(WelcomeConsent::appListSlug); });
    connect(m_studioRow, &QAbstractButton::clicked, this,
            [this] { Q_EMIT optInTapped(WelcomeConsent::studioListSlug); });
    columnLayout->addWidget(m_card);

    m_continue = new WelcomeAccentButton(continueTitle, column);
    m_continue->setObjectName(QStringLiteral("continue"));
    connect(m_continue, &QAbstractButton::clicked, this, &WelcomeStepView::continueTapped);
    columnLayout->addWidget(m_continue);

    layout->addStretch(1);
    scroll->setWidget(content);
    // The scroll area paints what it holds by default; the gate's canvas must show through.
    content->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    setMarketing(WelcomeConsent::allListSlugs(), false, false);
}

void WelcomeStepView::setMarketing(const QSet<QString> &visible, bool appOptIn, bool studioOptIn)
{
    m_appRow->setVisible(visible.contains(WelcomeConsent::appListSlug));
    m_studioRow->setVisible(visible.contains(WelcomeConsent::studioListSlug));
    m_appRow->setOn(appOptIn);
    m_studioRow->setOn(studioOptIn);
}

WelcomeCheckboxRow *WelcomeStepView::row(const QString &listSlug) const
{
    if (listSlug == WelcomeConsent::appListSlug)
        return m_appRow;
    if (listSlug == WelcomeConsent::studioListSlug)
        return m_studioRow;
    return nullptr;
}

void WelcomeStepView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window brought back from the task bar is not the step appearing anew.
    if (event->spontaneous())
        return;
    // Keys reach the step, and Return its Continue, though nothing in it shows the focus yet.
    const QWidget *focused = window()->focusWidget();
    if (!focused || !isAncestorOf(focused))
        setFocus(Qt::OtherFocusReason);
    Q_EMIT appeared();
}

void WelcomeStepView::keyPressEvent(QKeyEvent *event)
{
    // What a focused box or link left: Return goes to Continue.
    if (ButtonKeys::isActivation(event)) {
        m_continue->animateClick();
        return;
    }
    QWidget::keyPressEvent(event);
}
