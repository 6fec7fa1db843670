#include "AuditTuneRow.h"

#include "AuditFont.h"
#include "AuditLabel.h"
#include "AuditObjectNames.h"
#include "AuditStepper.h"
#include "AuditStroke.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace {
// "penciled in": semibold 11 in `accentInk`, 9 sideways and 3 above and below, on a capsule of
// `accent` at 12 % with a 1-wide ring of `accent` at 35 %.
class PencilBadge final : public QWidget {
public:
    explicit PencilBadge(QWidget *parent = nullptr)
        : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setAccessibleName(text());
    }
    static QString text() { return QStringLiteral("penciled in"); }
    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(font());
        return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + 18, int(std::ceil(metrics.height())) + 6);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const AuditPalette colors = AuditPalette::of(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        AuditStroke::tintedCapsule(painter, rect(), colors.accent, 1);
        painter.setFont(font());
        painter.setPen(colors.accentInk);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }

private:
    static QFont font() { return AuditFont::system(11, QFont::DemiBold); }
};
} // namespace

AuditTuneRow::AuditTuneRow(const QString &name, const QString &sub, const AuditFill &color, bool bordered,
                           bool pencil, const QString &value, const QString &suffix, const QString &decLabel,
                           const QString &incLabel, QWidget *parent)
    : QWidget(parent)
    , m_swatch(new AuditSwatch(14, 4))
    , m_sub(new AuditLabel(sub, AuditFont::system(13), AuditRole::muted))
    , m_badge(new PencilBadge)
    , m_stepper(new AuditStepper(value, suffix, decLabel, incLabel, AuditStepper::Size::lg))
{
    m_swatch->setFill(color);
    m_swatch->setBordered(bordered);

    auto *title = new QHBoxLayout;
    title->setSpacing(10);
    title->addWidget(new AuditLabel(name, AuditFont::system(16, QFont::DemiBold), AuditRole::text), 0,
                     Qt::AlignVCenter);
    title->addWidget(m_badge, 0, Qt::AlignVCenter);
    title->addStretch(1);
    m_badge->setVisible(pencil);

    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addLayout(title);
    text->addWidget(m_sub);

    auto *left = new QHBoxLayout;
    left->setSpacing(14);
    left->addWidget(m_swatch, 0, Qt::AlignVCenter);
    left->addLayout(text, 1);

    // 18 on either side of a room of at least 12. The row itself has no spacing: a box layout
    // puts none next to a spacer, so the spacer carries all of it.
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 16, 0, 16);
    row->setSpacing(0);
    row->addLayout(left, 1);
    row->addSpacerItem(new QSpacerItem(18 + 12 + 18, 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    row->addWidget(m_stepper, 0, Qt::AlignVCenter);

    connect(m_stepper, &AuditStepper::decremented, this, &AuditTuneRow::decremented);
    connect(m_stepper, &AuditStepper::incremented, this, &AuditTuneRow::incremented);
    connect(this, &QObject::objectNameChanged, this, &AuditTuneRow::nameParts);
}

void AuditTuneRow::setSub(const QString &sub)
{
    m_sub->setText(sub);
}

void AuditTuneRow::setPencil(bool pencil)
{
    // Explicitly hidden, not just not yet shown: the row may not be on screen.
    if (m_badge->isHidden() == !pencil)
        return;
    m_badge->setVisible(pencil);
}

bool AuditTuneRow::pencil() const
{
    return !m_badge->isHidden();
}

void AuditTuneRow::setValue(const QString &value)
{
    m_stepper->setValue(value);
}

void AuditTuneRow::nameParts()
{
    m_stepper->setObjectName(AuditObjectNames::part(this, u"stepper"));
    m_sub->setObjectName(AuditObjectNames::part(this, u"sub"));
    m_badge->setObjectName(AuditObjectNames::part(this, u"badge"));
}
