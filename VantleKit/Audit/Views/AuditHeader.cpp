#include "AuditHeader.h"

#include "AuditFont.h"
#include "AuditMotion.h"
#include "AuditPalette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kPadX = 24;
constexpr int kPadY = 15;
constexpr int kBar = 4;
constexpr int kRule = 1;
constexpr int kTitleGap = 14;

QFont wordmarkFont()
{
    QFont font = AuditFont::mono(16, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    return font;
}

QFont titleFont()
{
    QFont font = AuditFont::system(11);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
    font.setCapitalization(QFont::AllUppercase);
    return font;
}

QFont counterFont()
{
    return AuditFont::mono(13);
}

const QString kWordmarkHead = QStringLiteral("VAN");
const QString kWordmarkTail = QStringLiteral("TLE");
const QString kTitle = QStringLiteral("The Hour Audit");

qreal fillFor(std::optional<int> question)
{
    return question ? std::clamp((*question - 1) * 0.25, 0.0, 1.0) : 1.0;
}
} // namespace

AuditHeader::AuditHeader(std::optional<int> question, QWidget *parent)
    : QWidget(parent)
    , m_question(question)
    , m_progress(fillFor(question))
    , m_animation(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_animation->setDuration(progressMilliseconds);
    m_animation->setEasingCurve(AuditMotion::easeInOut());
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setProgress(value.toReal()); });
    setAccessibleName(counterText());
}

void AuditHeader::setQuestion(std::optional<int> question)
{
    if (m_question == question)
        return;
    m_question = question;
    setAccessibleName(counterText());
    const qreal target = fillFor(question);
    m_animation->stop();
    if (!isVisible()) {
        setProgress(target);
        return;
    }
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->start();
    update();
}

QString AuditHeader::counterText() const
{
    return m_question ? QStringLiteral("Question %1 of 4").arg(*m_question) : QStringLiteral(" ");
}

void AuditHeader::setProgress(qreal progress)
{
    if (m_progress == progress)
        return;
    m_progress = progress;
    update();
}

qreal AuditHeader::targetProgress() const
{
    return fillFor(m_question);
}

bool AuditHeader::isAnimating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

int AuditHeader::rowHeight() const
{
    // The three texts stand on one baseline: the row is as tall as the highest ascent over
    // the deepest descent. The counter's height stays when it shows a blank.
    const QFontMetricsF word(wordmarkFont()), title(titleFont()), counter(counterFont());
    const qreal ascent = std::max({word.ascent(), title.ascent(), counter.ascent()});
    const qreal descent = std::max({word.descent(), title.descent(), counter.descent()});
    return int(std::ceil(ascent + descent));
}

QSize AuditHeader::sizeHint() const
{
    const QFontMetricsF word(wordmarkFont()), title(titleFont()), counter(counterFont());
    const int width = int(std::ceil(word.horizontalAdvance(kWordmarkHead + kWordmarkTail) + kTitleGap
                                    + title.horizontalAdvance(kTitle) + counter.horizontalAdvance(QStringLiteral("Question 4 of 4"))))
        + 2 * kPadX + 8;
    return QSize(width, rowHeight() + 2 * kPadY + kBar + kRule);
}

QSize AuditHeader::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

void AuditHeader::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = AuditPalette::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), colors.card);

    const QFontMetricsF word(wordmarkFont()), title(titleFont()), counter(counterFont());
    const qreal ascent = std::max({word.ascent(), title.ascent(), counter.ascent()});
    const qreal baseline = kPadY + ascent;
    qreal x = kPadX;
    painter.setFont(wordmarkFont());
    painter.setPen(colors.text);
    painter.drawText(QPointF(x, baseline), kWordmarkHead);
    x += word.horizontalAdvance(kWordmarkHead);
    painter.setPen(colors.accentInk);
    painter.drawText(QPointF(x, baseline), kWordmarkTail);
    x += word.horizontalAdvance(kWordmarkTail) + kTitleGap;
    painter.setFont(titleFont());
    painter.setPen(colors.muted);
    painter.drawText(QPointF(x, baseline), kTitle);

    const QString count = counterText();
    painter.setFont(counterFont());
    painter.drawText(QPointF(width() - kPadX - counter.horizontalAdvance(count), baseline), count);

    const qreal barTop = 2 * kPadY + rowHeight();
    painter.fillRect(QRectF(0, barTop, width(), kBar), colors.elevated);
    painter.fillRect(QRectF(0, barTop, width() * std::clamp(m_progress, 0.0, 1.0), kBar), colors.accent);
    painter.fillRect(QRectF(0, barTop + kBar, width(), kRule), colors.border);
}
