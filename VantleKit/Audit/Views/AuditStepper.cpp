#include "AuditStepper.h"

#include "AuditFont.h"
#include "AuditObjectNames.h"
#include "AuditPalette.h"
#include "AuditStepButton.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// The value and its suffix as one line on a shared baseline, centred in a minimum width.
class StepperValue final : public QWidget {
public:
    StepperValue(AuditStepper::Size size, QWidget *parent)
        : QWidget(parent)
        , m_valueFont(AuditFont::mono(size == AuditStepper::Size::lg ? 24 : 21, QFont::Bold))
        , m_suffixFont(AuditFont::system(14))
        , m_minWidth(size == AuditStepper::Size::lg ? 96 : 80)
    {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    void setTexts(const QString &value, const std::optional<QString> &suffix)
    {
        const QString tail = suffix ? QStringLiteral(" ") + *suffix : QString();
        if (value == m_value && tail == m_tail)
            return;
        const QSize before = sizeHint();
        m_value = value;
        m_tail = tail;
        setAccessibleName(m_value + m_tail);
        // Only a change of size lays the row out again; a new number of the same width repaints.
        if (sizeHint() != before)
            updateGeometry();
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetricsF value(m_valueFont), tail(m_suffixFont);
        const qreal width = value.horizontalAdvance(m_value) + (m_tail.isEmpty() ? 0 : tail.horizontalAdvance(m_tail));
        const qreal ascent = std::max(value.ascent(), m_tail.isEmpty() ? 0 : tail.ascent());
        const qreal descent = std::max(value.descent(), m_tail.isEmpty() ? 0 : tail.descent());
        return QSize(std::max(m_minWidth, int(std::ceil(width))), int(std::ceil(ascent + descent)));
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const AuditPalette colors = AuditPalette::of(this);
        const QFontMetricsF value(m_valueFont), tail(m_suffixFont);
        const qreal valueWidth = value.horizontalAdvance(m_value);
        const qreal width = valueWidth + (m_tail.isEmpty() ? 0 : tail.horizontalAdvance(m_tail));
        const qreal ascent = std::max(value.ascent(), m_tail.isEmpty() ? 0 : tail.ascent());
        const qreal descent = std::max(value.descent(), m_tail.isEmpty() ? 0 : tail.descent());
        const qreal x = (this->width() - width) / 2.0;
        const qreal baseline = (height() - (ascent + descent)) / 2.0 + ascent;
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(m_valueFont);
        painter.setPen(colors.text);
        painter.drawText(QPointF(x, baseline), m_value);
        if (!m_tail.isEmpty()) {
            painter.setFont(m_suffixFont);
            painter.setPen(colors.muted);
            painter.drawText(QPointF(x + valueWidth, baseline), m_tail);
        }
    }

private:
    QFont m_valueFont;
    QFont m_suffixFont;
    int m_minWidth;
    QString m_value;
    QString m_tail;
};
} // namespace

AuditStepper::AuditStepper(const QString &value, const std::optional<QString> &suffix, const QString &decLabel,
                           const QString &incLabel, Size size, QWidget *parent)
    : QWidget(parent)
    , m_value(value)
    , m_suffix(suffix)
    , m_size(size)
{
    const int diameter = size == Size::lg ? 40 : 36;
    m_dec = new AuditStepButton(QStringLiteral("\u2212"), decLabel, diameter, this);
    auto *valueView = new StepperValue(size, this);
    valueView->setTexts(value, suffix);
    m_valueView = valueView;
    m_inc = new AuditStepButton(QStringLiteral("+"), incLabel, diameter, this);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->addWidget(m_dec, 0, Qt::AlignVCenter);
    row->addWidget(m_valueView, 0, Qt::AlignVCenter);
    row->addWidget(m_inc, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(m_dec, &AuditStepButton::clicked, this, &AuditStepper::decremented);
    connect(m_inc, &AuditStepButton::clicked, this, &AuditStepper::incremented);
    connect(this, &QObject::objectNameChanged, this, &AuditStepper::nameParts);
}

void AuditStepper::setValue(const QString &value)
{
    m_value = value;
    static_cast<StepperValue *>(m_valueView)->setTexts(m_value, m_suffix);
}

void AuditStepper::setSuffix(const std::optional<QString> &suffix)
{
    m_suffix = suffix;
    static_cast<StepperValue *>(m_valueView)->setTexts(m_value, m_suffix);
}

void AuditStepper::nameParts()
{
    m_dec->setObjectName(AuditObjectNames::part(this, u"dec"));
    m_inc->setObjectName(AuditObjectNames::part(this, u"inc"));
    m_valueView->setObjectName(AuditObjectNames::part(this, u"value"));
}
