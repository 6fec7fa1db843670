#include "Vantle/Views/SettingsSection.h"

#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr qreal cardRadius = 8;
constexpr int dividerInset = 12;
const char *const rowBackgroundProperty = "settingsRowBackground";

QLabel *plainLabel(const QString &text, const char *objectName, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    // Texts here are the application's own or come from the account: never markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

SettingsSection::SettingsSection(const QString &header, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    if (!header.isEmpty()) {
        m_header = plainLabel(header, "sectionHeader", this);
        m_header->setContentsMargins(2, 0, 0, 0);
        layout->addWidget(m_header);
    }
    m_rowsLayout = new QVBoxLayout;
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    layout->addLayout(m_rowsLayout);
}

QWidget *SettingsSection::addRow(QWidget *content, Background background, QMargins insets)
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("settingsRow"));
    row->setProperty(rowBackgroundProperty, background == Background::clear);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(insets);
    layout->setSpacing(0);
    content->setParent(row);
    layout->addWidget(content);
    m_rowsLayout->addWidget(row);
    m_rows.append(row);
    // The card is drawn from the visible rows: repaint whenever one comes or goes.
    row->installEventFilter(this);
    return row;
}

SettingsSwitch *SettingsSection::addToggle(const QString &text)
{
    auto *content = new QWidget;
    auto *layout = new QHBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    QLabel *label = plainLabel(text, "rowLabel", content);
    label->setWordWrap(true);
    auto *toggle = new SettingsSwitch(text, content);
    layout->addWidget(label, 1);
    layout->addWidget(toggle, 0, Qt::AlignVCenter);
    addRow(content);
    return toggle;
}

QLabel *SettingsSection::addFootnote(const QString &text)
{
    auto *label = plainLabel(text, "footnote", nullptr);
    label->setWordWrap(true);
    addRow(label, Background::card, QMargins(rowInsets.left(), 6, rowInsets.right(), 7));
    return label;
}

QLabel *SettingsSection::addLabeledValue(const QString &labelText, const QString &value)
{
    auto *content = new QWidget;
    auto *layout = new QHBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(plainLabel(labelText, "rowLabel", content));
    layout->addStretch(1);
    QLabel *valueLabel = plainLabel(value, "rowValue", content);
    valueLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(valueLabel);
    addRow(content);
    return valueLabel;
}

QPushButton *SettingsSection::addButton(const QString &text, ButtonRole role, bool trailing)
{
    auto *content = new QWidget;
    auto *layout = new QHBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *button = new QPushButton(text, content);
    button->setProperty("role", role == ButtonRole::destructive ? QStringLiteral("destructive") : QStringLiteral("normal"));
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    if (trailing)
        layout->addStretch(1);
    layout->addWidget(button);
    if (!trailing)
        layout->addStretch(1);
    addRow(content, Background::card, QMargins(rowInsets.left(), 6, rowInsets.right(), 6));
    return button;
}

QWidget *SettingsSection::rowOf(const QWidget *control)
{
    for (QWidget *w = control ? control->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (w->objectName() == QLatin1String("settingsRow"))
            return w;
    }
    return nullptr;
}

bool SettingsSection::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
        update();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsSection::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Runs of visible card rows, each one rounded card.
    QList<QList<QWidget *>> runs;
    QList<QWidget *> run;
    for (QWidget *row : std::as_const(m_rows)) {
        if (row->isHidden())
            continue;
        if (row->property(rowBackgroundProperty).toBool()) {
            if (!run.isEmpty())
                runs.append(run);
            run.clear();
            continue;
        }
        run.append(row);
    }
    if (!run.isEmpty())
        runs.append(run);

    for (const QList<QWidget *> &card : std::as_const(runs)) {
        QRect area;
        for (QWidget *row : card)
            area = area.united(row->geometry());
        const QRectF box = QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath path;
        path.addRoundedRect(box, cardRadius, cardRadius);
        painter.fillPath(path, Theme::card);
        painter.setPen(QPen(Theme::border, 1));
        painter.drawPath(path);
        for (qsizetype i = 1; i < card.size(); ++i) {
            const qreal y = card.at(i)->geometry().top() + 0.5;
            painter.drawLine(QPointF(area.left() + dividerInset, y), QPointF(area.right() - dividerInset + 1, y));
        }
    }
}
