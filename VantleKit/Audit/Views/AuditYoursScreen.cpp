#include "AuditYoursScreen.h"

#include "AuditActions.h"
#include "AuditBackButton.h"
#include "AuditCard.h"
#include "AuditDivider.h"
#include "AuditFont.h"
#include "AuditH1.h"
#include "AuditLabel.h"
#include "AuditObjectNames.h"
#include "AuditPrimaryButton.h"
#include "AuditQSub.h"
#include "AuditScreenHost.h"
#include "AuditShape.h"
#include "AuditStack.h"
#include "AuditTextInput.h"
#include "AuditYoursAddButton.h"
#include "AuditYoursRow.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditStore.h"

#include <QCoro/QCoroTask>
#include <QPainter>
#include <QVBoxLayout>

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"yours", control);
}

// The failure box: its text on `danger` at 12 %, a 1-wide ring of `danger` at 35 %, corner
// radius 12 (continuous), 16 sideways and 13 above and below.
class ErrorBox final : public AuditLabel {
public:
    ErrorBox()
    {
        setBaseFont(AuditFont::system(14));
        setColorRole(AuditRole::text);
        setLineSpacing(4);
        setPadding(QMargins(16, 13, 16, 13));
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    void setCode(const QString &code)
    {
        setRuns({AuditTextRun::plain(QStringLiteral("Couldn't save your week — your answers are safe. ")),
                 AuditTextRun::styled(QStringLiteral("(") + code + QStringLiteral(")"), AuditFont::mono(12),
                                      AuditRole::muted)});
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            const QColor danger = AuditPalette::of(this).danger;
            QColor fill = danger, ring = danger;
            fill.setAlphaF(fill.alphaF() * 0.12f);
            ring.setAlphaF(ring.alphaF() * 0.35f);
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            AuditShape::fill(painter, rect(), 12, fill);
            AuditShape::strokeInside(painter, rect(), 12, 1, ring);
        }
        AuditLabel::paintEvent(event);
    }
};

// The button's press: the submission runs on its own and outlives the screen if need be.
QCoro::Task<void> runSubmission(QPointer<AuditStore> store)
{
    if (store)
        co_await store->submit();
}
} // namespace

AuditYoursScreen::AuditYoursScreen(AuditStore *store, QWidget *parent)
    : AuditScreenView(store, parent)
{
    m_title = new AuditH1(QString());
    m_title->setObjectName(nameOf(u"title"));
    add(m_title);
    add(new AuditQSub(
        QStringLiteral("Name one to five things and give each its hours. Unnamed time gets spent for you.")));

    auto *card = new AuditCard;
    auto *rows = new QWidget;
    m_rowsLayout = new QVBoxLayout(rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    card->addWidget(rows);

    auto *addButton = new AuditYoursAddButton;
    addButton->setObjectName(nameOf(u"add"));
    connect(addButton, &AuditYoursAddButton::clicked, this, &AuditYoursScreen::addRow);
    m_add = AuditStack::roomAbove(addButton, 12);
    card->addWidget(m_add);

    m_status = new AuditLabel(QString(), AuditFont::system(14), AuditRole::muted);
    m_status->setObjectName(nameOf(u"status"));
    m_status->setLineSpacing(4);
    m_status->setPadding(QMargins(0, 24, 0, 0));
    card->addWidget(m_status);

    auto *error = new ErrorBox;
    error->setObjectName(nameOf(u"error"));
    m_error = error;
    m_errorBox = AuditStack::roomAbove(error, 18);
    card->addWidget(m_errorBox);
    add(card);

    AuditBackButton *back = backButton(QStringLiteral("← Back to the week"), AuditScreen::dash, nameOf(u"back"));
    m_submit = new AuditPrimaryButton(QStringLiteral("Start tracking"), AuditPrimaryButton::Size::lg);
    m_submit->setObjectName(nameOf(u"submit"));
    connect(m_submit, &AuditPrimaryButton::clicked, this, &AuditYoursScreen::submit);
    add(new AuditActions(back, m_submit));
    sync();
}

QPair<QString, bool> AuditYoursScreen::statusText(const AuditStore &store)
{
    using AuditMath::fmtH;
    const YoursValidation check = store.yoursValidation();
    const double y = store.yoursHours();
    if (check.over) {
        return {QStringLiteral("That's ") + fmtH(check.total) + QStringLiteral(" claimed. You have ") + fmtH(y)
                    + QStringLiteral(". Trim something."),
                true};
    }
    if (check.unnamed)
        return {QStringLiteral("Give every row a name."), false};
    if (check.remaining <= 0)
        return {QStringLiteral("Every hour claimed."), false};
    return {fmtH(check.remaining) + QStringLiteral(" of ") + fmtH(y) + QStringLiteral(" still unclaimed."), false};
}

void AuditYoursScreen::sync()
{
    AuditStore *store = this->store();
    m_title->setText(QStringLiteral("What are your ") + AuditMath::fmtH(store->yoursHours()) + QStringLiteral(" hours FOR?"));
    syncRows();
    m_add->setVisible(store->state().yoursCats.size() < AuditPresets::maxYoursCategories);

    const auto [status, danger] = statusText(*store);
    m_status->setText(status);
    m_status->setColorRole(danger ? AuditRole::danger : AuditRole::muted);

    const std::optional<QString> error = store->submitError();
    if (error)
        static_cast<ErrorBox *>(m_error)->setCode(*error);
    m_errorBox->setVisible(error.has_value());

    const bool submitting = store->isSubmitting();
    const QString title = submitting ? QStringLiteral("Starting…")
        : error                      ? QStringLiteral("Try again")
                                     : QStringLiteral("Start tracking");
    if (m_submit->text() != title)
        m_submit->setText(title);
    m_submit->setEnabled(store->yoursValidation().valid && !submitting);
}

void AuditYoursScreen::syncRows()
{
    const QList<YoursCategoryDraft> &cats = store()->state().yoursCats;
    // Rows are kept by position and only hidden when the list shrinks: a row's own remove
    // button may be what shrank it, and it must outlive its click.
    while (m_rows.size() < cats.size()) {
        const int index = int(m_rows.size());
        auto *divider = new AuditDivider;
        auto *row = new AuditYoursRow;
        row->setObjectName(nameOf(QStringLiteral("row.%1").arg(index)));
        connect(row, &AuditYoursRow::nameEdited, this, [this, index](const QString &text) {
            if (store())
                store()->yoursSetName(index, text);
        });
        connect(row, &AuditYoursRow::decremented, this, [this, index] {
            if (store())
                store()->yoursStepHours(index, -1);
        });
        connect(row, &AuditYoursRow::incremented, this, [this, index] {
            if (store())
                store()->yoursStepHours(index, 1);
        });
        connect(row, &AuditYoursRow::removeClicked, this, [this, index] {
            if (store())
                store()->yoursRemove(index);
        });
        m_rowsLayout->addWidget(divider);
        m_rowsLayout->addWidget(row);
        m_rows.append({divider, row});
    }
    const bool removable = cats.size() >= 2;
    for (int i = 0; i < m_rows.size(); ++i) {
        const auto &[divider, row] = m_rows.at(i);
        const bool shown = i < cats.size();
        if (shown)
            row->setRow(cats.at(i), removable);
        row->setVisible(shown);
        divider->setVisible(shown && i > 0);
    }
}

void AuditYoursScreen::addRow()
{
    AuditStore *store = this->store();
    if (!store)
        return;
    const qsizetype before = store->state().yoursCats.size();
    store->yoursAdd();
    const qsizetype after = store->state().yoursCats.size();
    if (after <= before || after > m_rows.size())
        return;
    // The new row is what the person goes on with: its name takes what they type next.
    QWidget *field = m_rows.at(after - 1).second->nameInput();
    field->setFocus(Qt::OtherFocusReason);
    AuditScreenHost::bringIntoView(m_rows.at(after - 1).second, 14);
}

void AuditYoursScreen::submit()
{
    // Not kept: the task runs to its end on its own, checking the store after every wait.
    QCoro::Task<void> running = runSubmission(store());
    Q_UNUSED(running);
}
