#include "AuditAddActivityBox.h"

#include "AuditBackButton.h"
#include "AuditDashedButton.h"
#include "AuditFlowLayout.h"
#include "AuditFont.h"
#include "AuditLabel.h"
#include "AuditObjectNames.h"
#include "AuditPrimaryButton.h"
#include "AuditScreenHost.h"
#include "AuditShape.h"
#include "AuditStack.h"
#include "AuditStepper.h"
#include "AuditTextInput.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditStore.h"

#include "OrvalenAccount/UI/PaintedButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"dash", control);
}

// The open form's ground: `elevated`, corner radius 18 (continuous), no ring.
class FormPanel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        AuditShape::fill(painter, rect(), 18, AuditPalette::of(this).elevated);
    }
};

bool isEscape(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

QString timesText(double times)
{
    // Whole times a week, never "2.0". The stepper keeps the value between 1 and 7.
    return std::isfinite(times) ? QString::number(std::trunc(times), 'f', 0) : QStringLiteral("0");
}
} // namespace

AuditAddActivityBox::AuditAddActivityBox(AuditStore *store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 12, 0, 0);
    outer->setSpacing(0);

    m_add = new AuditDashedButton(QStringLiteral("+ Add an activity"));
    m_add->setObjectName(nameOf(u"add"));
    connect(m_add, &AuditDashedButton::clicked, this, [this] { setOpen(true); });
    outer->addWidget(m_add);

    m_form = new FormPanel;
    auto *form = new QVBoxLayout(m_form);
    form->setContentsMargins(24, 24, 24, 24);
    form->setSpacing(20);
    m_name = new AuditTextInput(QStringLiteral("Side project, guitar, reading to the kids"), true);
    m_name->setObjectName(nameOf(u"addName"));
    // Return in the name adds the activity, as "Add it" would.
    connect(m_name->field(), &QLineEdit::returnPressed, this, [this] {
        if (!m_open)
            return;
        m_keyboardClose = true;
        save();
        m_keyboardClose = false;
    });
    form->addWidget(m_name);

    auto *group = new QWidget;
    QSizePolicy groupPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    groupPolicy.setHeightForWidth(true);
    group->setSizePolicy(groupPolicy);
    new AuditFlowLayout(30, 16, group);
    m_times = draftStepper(QStringLiteral("Times a week"), QStringLiteral("×"), QStringLiteral("Fewer"),
                           QStringLiteral("More"), DraftKey::addTimes, group);
    m_len = draftStepper(QStringLiteral("The session"), QStringLiteral("h"), QStringLiteral("Shorter"),
                         QStringLiteral("Longer"), DraftKey::addLen, group);
    m_over = draftStepper(QStringLiteral("Lead-in and out"), QStringLiteral("h"), QStringLiteral("Less"),
                          QStringLiteral("More"), DraftKey::addOver, group);
    m_times->setObjectName(nameOf(u"addTimes"));
    m_len->setObjectName(nameOf(u"addLen"));
    m_over->setObjectName(nameOf(u"addOver"));
    form->addWidget(group);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    auto *save = new AuditPrimaryButton(QStringLiteral("Add it"), AuditPrimaryButton::Size::sm);
    save->setObjectName(nameOf(u"addSave"));
    connect(save, &AuditPrimaryButton::clicked, this, &AuditAddActivityBox::save);
    auto *cancel = new AuditBackButton(QStringLiteral("Cancel"));
    cancel->setObjectName(nameOf(u"addCancel"));
    connect(cancel, &AuditBackButton::clicked, this, &AuditAddActivityBox::cancel);
    buttons->addWidget(save, 0, Qt::AlignVCenter);
    buttons->addWidget(cancel, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    form->addLayout(buttons);

    outer->addWidget(m_form);
    m_form->hide();
    sync();
}

AuditStepper *AuditAddActivityBox::draftStepper(const QString &label, const QString &suffix,
                                                const QString &decLabel, const QString &incLabel, DraftKey key,
                                                QWidget *group)
{
    auto *cell = new QWidget;
    auto *column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(9);
    auto *title = new AuditLabel(label, AuditFont::system(13, QFont::DemiBold), AuditRole::muted);
    // One line: the cell takes its ideal size in the flow, which a label that could wrap at
    // its narrowest would make as tall as that.
    title->setMinimumSize(title->sizeHint());
    column->addWidget(title);
    auto *stepper = new AuditStepper(QString(), suffix, decLabel, incLabel, AuditStepper::Size::md);
    AuditStack::addLeading(column, stepper);
    cell->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    group->layout()->addWidget(cell);
    connect(stepper, &AuditStepper::decremented, this, [this, key] {
        if (m_store)
            m_store->stepDraft(key, -1);
    });
    connect(stepper, &AuditStepper::incremented, this, [this, key] {
        if (m_store)
            m_store->stepDraft(key, 1);
    });
    return stepper;
}

AuditStepper *AuditAddActivityBox::stepper(DraftKey key) const
{
    switch (key) {
    case DraftKey::addLen: return m_len;
    case DraftKey::addOver: return m_over;
    case DraftKey::addTimes: break;
    }
    return m_times;
}

QString AuditAddActivityBox::name() const
{
    return m_name->text();
}

void AuditAddActivityBox::setOpen(bool open)
{
    if (m_open == open)
        return;
    m_open = open;
    // What comes is shown before what goes takes the focus with it: opening, the name field
    // takes it as it appears; closing, the add button gets it back, shown as the keyboard's
    // when the keyboard closed the form.
    if (open) {
        m_form->setVisible(true);
        m_add->setVisible(false);
        // Opened at the foot of the window, the form would unfold below it, out of sight.
        AuditScreenHost::bringIntoView(m_form);
        return;
    }
    const QWidget *focused = QApplication::focusWidget();
    m_add->setVisible(true);
    if (m_form->isAncestorOf(focused)) {
        if (m_keyboardClose)
            m_add->setFocus(Qt::TabFocusReason);
        else
            PaintedButton::handFocus(focused, m_add);
    }
    m_form->setVisible(false);
}

void AuditAddActivityBox::sync()
{
    if (!m_store)
        return;
    const DraftValues &draft = m_store->state().draft;
    m_times->setValue(timesText(draft.addTimes));
    m_len->setValue(AuditMath::fmtH(draft.addLen));
    m_over->setValue(AuditMath::fmtH(draft.addOver));
}

void AuditAddActivityBox::save()
{
    if (!m_store)
        return;
    QString activityName = m_name->text().trimmed();
    if (activityName.isEmpty())
        activityName = QStringLiteral("New activity");
    const DraftValues draft = m_store->state().draft;
    // Closed first: the store's change lays the dashboard out again, with the box shut.
    setOpen(false);
    m_name->setText(QString());
    m_store->addActivity(AuditActivity{activityName, draft.addTimes, draft.addLen, draft.addOver});
}

bool AuditAddActivityBox::event(QEvent *event)
{
    // Escape in the open form is the form's, before any shortcut of the window takes it.
    if (event->type() == QEvent::ShortcutOverride && m_open && isEscape(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void AuditAddActivityBox::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the form as "Cancel" does, and the keyboard goes on from "+ Add an activity".
    if (m_open && isEscape(event)) {
        m_keyboardClose = true;
        cancel();
        m_keyboardClose = false;
        return;
    }
    QWidget::keyPressEvent(event);
}

void AuditAddActivityBox::cancel()
{
    setOpen(false);
    m_name->setText(QString());
}
