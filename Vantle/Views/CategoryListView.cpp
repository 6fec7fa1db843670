#include "Vantle/Views/CategoryListView.h"

#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/MainViewText.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

const char *const nameProperty = "vantleCategoryName";
const char *const kindProperty = "vantleCategoryKind";
const char *const budgetProperty = "vantleCategoryBudget";

QString kindText(CategoryKind kind)
{
    switch (kind) {
    case CategoryKind::committed:
        return QStringLiteral("Committed");
    case CategoryKind::yours:
        return QStringLiteral("Yours");
    case CategoryKind::sleep:
        return QStringLiteral("Sleep");
    case CategoryKind::unaccounted:
        return QStringLiteral("Unaccounted");
    }
    return QString();
}

// A category's colour; committed time in the muted tone and the person's own in the
// accent when the service gave none (or one that does not parse).
QColor categoryColor(const VantCategory &category)
{
    if (category.color) {
        if (const auto parsed = Theme::color(*category.color))
            return *parsed;
    }
    return category.kind == CategoryKind::yours ? Theme::accent : Theme::muted;
}

class ColorDot final : public QWidget {
public:
    ColorDot(QColor color, QWidget *parent) : QWidget(parent), m_color(std::move(color)) { setFixedSize(12, 12); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }

private:
    QColor m_color;
};

// A name that does not fit ends in "…" instead of being cut off mid-letter.
class ElidedLabel final : public QLabel {
public:
    ElidedLabel(QString text, QWidget *parent) : QLabel(parent), m_full(std::move(text))
    {
        setToolTip(m_full);
        setTextFormat(Qt::PlainText);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        setText(fontMetrics().elidedText(m_full, Qt::ElideRight, width()));
    }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

private:
    QString m_full;
};

QLabel *label(const QString &text, const QColor &color, int pixelSize, QFont::Weight weight, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    QFont font = l->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, color);
    l->setPalette(palette);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

CategoryListView::CategoryListView(LedgerModel *ledger, QWidget *parent)
    : QWidget(parent), m_ledger(ledger)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    auto *title = label(QStringLiteral("Your week"), Theme::text, 22, QFont::Bold, this);
    m_summary = label(QString(), Theme::muted, 13, QFont::Normal, this);
    m_summary->setObjectName(QStringLiteral("categorySummary"));
    layout->addWidget(title);
    layout->addWidget(m_summary);

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    // A list to read, with nothing in it to press: a Tab stop here would show nothing.
    scroll->setFocusPolicy(Qt::NoFocus);
    m_rows = new QWidget(scroll);
    m_rows->setObjectName(QStringLiteral("categoryRows"));
    m_rows->setAutoFillBackground(false);
    m_rowsLayout = new QVBoxLayout(m_rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(8);
    m_rowsLayout->addStretch(1);
    scroll->setWidget(m_rows);
    layout->addWidget(scroll, 1);

    if (m_ledger)
        connect(m_ledger, &LedgerModel::categoriesChanged, this, &CategoryListView::rebuild);
    rebuild();
}

CategoryListView::~CategoryListView() = default;

void CategoryListView::rebuild()
{
    while (m_rowsLayout->count() > 1) {
        QLayoutItem *item = m_rowsLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
    const QList<VantCategory> categories = m_ledger ? m_ledger->visibleCategories() : QList<VantCategory>();
    qint64 total = 0;
    for (const VantCategory &category : categories) {
        if (category.weeklyBudgetHalfHours && *category.weeklyBudgetHalfHours > 0)
            total += *category.weeklyBudgetHalfHours;

        auto *row = new QFrame(m_rows);
        row->setObjectName(QStringLiteral("categoryRow"));
        row->setStyleSheet(QStringLiteral("#categoryRow { background: %1; border: 1px solid %2; border-radius: 10px; }")
                               .arg(Theme::card.name(), Theme::border.name()));
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(16, 12, 16, 12);
        rowLayout->setSpacing(12);
        rowLayout->addWidget(new ColorDot(categoryColor(category), row));
        auto *name = new ElidedLabel(category.name, row);
        QFont nameFont = name->font();
        nameFont.setPixelSize(15);
        nameFont.setWeight(QFont::DemiBold);
        name->setFont(nameFont);
        QPalette namePalette = name->palette();
        namePalette.setColor(QPalette::WindowText, Theme::text);
        name->setPalette(namePalette);
        name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        auto *kind = label(kindText(category.kind), Theme::muted, 13, QFont::Normal, row);
        auto *budget = label(MainViewText::weeklyBudget(category.weeklyBudgetHalfHours), Theme::text, 15,
                             QFont::Medium, row);
        budget->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        budget->setMinimumWidth(72);
        rowLayout->addWidget(name, 1);
        rowLayout->addWidget(kind);
        rowLayout->addWidget(budget);
        row->setProperty(nameProperty, category.name);
        row->setProperty(kindProperty, kind->text());
        row->setProperty(budgetProperty, budget->text());
        m_rowsLayout->insertWidget(m_rowsLayout->count() - 1, row);
    }
    const qsizetype count = categories.size();
    m_summary->setText(QStringLiteral("%1 %2 · %3")
                           .arg(count)
                           .arg(count == 1 ? QStringLiteral("category") : QStringLiteral("categories"))
                           .arg(MainViewText::totalBudget(total)));
}

QList<CategoryListView::ShownRow> CategoryListView::shownRows() const
{
    QList<ShownRow> rows;
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        QWidget *row = m_rowsLayout->itemAt(i)->widget();
        if (!row)
            continue;
        rows.append({row->property(nameProperty).toString(), row->property(kindProperty).toString(),
                     row->property(budgetProperty).toString()});
    }
    return rows;
}

QString CategoryListView::summaryText() const
{
    return m_summary->text();
}
