#include "FlowGallery.h"

#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Views/HourAuditView.h"

#include "VantleKit/Audit/AuditStore.h"
#include "VantleKit/Audit/Views/AuditAddActivityBox.h"
#include "VantleKit/Audit/Views/AuditFlowView.h"
#include "VantleKit/Audit/Views/AuditHeader.h"
#include "VantleKit/Audit/Views/AuditMotion.h"
#include "VantleKit/Audit/Views/AuditScreenHost.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QTextStream>

#include <functional>
#include <memory>

namespace {

void settle(int ms = 40)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct Shot {
    QString name;
    std::function<void(AuditStore &, AuditFlowView &)> state;
    int width = 960;
    // 0: the whole page, as tall as the screen needs; else the window's height.
    int height = 0;
};

const QString kEmojiName = QStringLiteral("Piano 🎹 with Zoë, Ñandú & 👩🏽‍🚀 friends — ok");

void toDash(AuditStore &store)
{
    store.enterDash();
}

void toYours(AuditStore &store)
{
    store.enterDash();
    store.show(AuditScreen::yours);
}

// The focus as Tab would put it on the named control.
void tabFocus(AuditFlowView &flow, const char *name)
{
    flow.window()->activateWindow();
    settle();
    if (auto *widget = flow.findChild<QWidget *>(QString::fromLatin1(name))) {
        widget->setFocus(Qt::TabFocusReason);
        flow.host(flow.shownScreen())->ensureWidgetVisible(widget);
    }
}

void hover(QWidget *widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QEnterEvent event(at, widget->mapTo(widget->window(), at), widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
}

} // namespace

void shootFlows(const QDir &dir, QTextStream &out)
{
    // Pictures of the settled screens: nothing mid-rise or mid-count.
    qApp->setProperty(AuditMotion::reduceMotionProperty, true);
    QNetworkAccessManager network;
    // An address nothing answers on; the poll never runs within a picture's life.
    auto api = std::make_shared<VantleAPI>(QUrl(QStringLiteral("http://127.0.0.1:9")),
                                           VantleAPI::SessionTokenReader([] { return std::optional<QString>(); }),
                                           &network);
    LedgerModel ledger(api);

    const QList<Shot> shots = {
        {QStringLiteral("flow-sleep-first"), [](AuditStore &, AuditFlowView &) {}},
        {QStringLiteral("flow-sleep-window"), [](AuditStore &, AuditFlowView &) {}, 960, 680},
        {QStringLiteral("flow-sleep-answered"),
         [](AuditStore &s, AuditFlowView &) {
             s.pickSleep(6.5);
             s.pickWake(8);
         }},
        {QStringLiteral("flow-work-default"), [](AuditStore &s, AuditFlowView &) { s.show(AuditScreen::work); }},
        {QStringLiteral("flow-work-answered"),
         [](AuditStore &s, AuditFlowView &) {
             s.show(AuditScreen::work);
             s.toggleDay(4);
             s.toggleDay(5);
             s.pickLeave(7.5);
             s.pickBack(18.5);
         }},
        {QStringLiteral("flow-work-wfh"),
         [](AuditStore &s, AuditFlowView &) {
             s.show(AuditScreen::work);
             s.toggleWfh();
             s.pickWfhHours(9);
         }},
        {QStringLiteral("flow-work-penciled"),
         [](AuditStore &s, AuditFlowView &) {
             s.pencilIn();
             s.show(AuditScreen::work);
         }},
        {QStringLiteral("flow-upkeep-answered"),
         [](AuditStore &s, AuditFlowView &) {
             s.show(AuditScreen::upkeep);
             s.pickUpkeep(2.5);
         }},
        {QStringLiteral("flow-family-answered"),
         [](AuditStore &s, AuditFlowView &) {
             s.show(AuditScreen::family);
             s.pickFamily(25);
         }},
        {QStringLiteral("flow-dash-default"), [](AuditStore &s, AuditFlowView &) { toDash(s); }},
        {QStringLiteral("flow-dash-window"), [](AuditStore &s, AuditFlowView &) { toDash(s); }, 960, 680},
        {QStringLiteral("flow-dash-over"),
         [](AuditStore &s, AuditFlowView &) {
             toDash(s);
             for (int i = 0; i < 14; ++i)
                 s.tuneSleep(1); // up to 11 h a night
             for (int i = 0; i < 40; ++i)
                 s.tune(TuneCat::work, 1);
         }},
        {QStringLiteral("flow-dash-floor"),
         [](AuditStore &s, AuditFlowView &) {
             toDash(s);
             for (int i = 0; i < 20; ++i)
                 s.tuneSleep(-1); // down to 4 h a night
             for (int i = 0; i < 200; ++i) {
                 for (TuneCat cat : allTuneCats)
                     s.tune(cat, -1);
             }
         }},
        {QStringLiteral("flow-dash-zero"),
         [](AuditStore &s, AuditFlowView &) {
             toDash(s);
             for (int i = 0; i < 71; ++i)
                 s.tune(TuneCat::family, 1); // 15 + 35.5: nothing left over
         }},
        {QStringLiteral("flow-dash-zero-taken-back"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             for (int i = 0; i < 71; ++i)
                 s.tune(TuneCat::family, 1);
             settle();
             // "Take an hour back →": the math's heading at the top of the window.
             flow.findChild<QAbstractButton *>(QStringLiteral("audit.dash.next"))->click();
         },
         960, 680},
        {QStringLiteral("flow-dash-activities"),
         [](AuditStore &s, AuditFlowView &) {
             toDash(s);
             s.addActivity(AuditActivity{QStringLiteral("Workouts"), 3, 1, 0.5});
             s.addActivity(AuditActivity{kEmojiName, 2, 1.5, 0.5});
             s.addActivity(AuditActivity{QStringLiteral("Reading"), 2.5, 1, 0});
         }},
        {QStringLiteral("flow-dash-addbox-open"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             auto *box = flow.findChild<AuditAddActivityBox *>(QStringLiteral("audit.dash.addBox"));
             box->setOpen(true);
             box->nameInput()->setText(QStringLiteral("Guitar"));
             s.stepDraft(DraftKey::addTimes, 5);
             s.stepDraft(DraftKey::addOver, 4);
         }},
        {QStringLiteral("flow-dash-addbox-window"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             settle();
             // Opened from the keyboard at the foot of the window: the form comes into view.
             tabFocus(flow, "audit.dash.add");
             flow.findChild<AuditAddActivityBox *>(QStringLiteral("audit.dash.addBox"))->setOpen(true);
         },
         960, 680},
        {QStringLiteral("flow-work-window"), [](AuditStore &s, AuditFlowView &) { s.show(AuditScreen::work); }, 960, 680},
        {QStringLiteral("flow-dash-narrow"), [](AuditStore &s, AuditFlowView &) { toDash(s); }, 480, 0},
        {QStringLiteral("flow-yours-unnamed"), [](AuditStore &s, AuditFlowView &) { toYours(s); }},
        {QStringLiteral("flow-yours-valid"),
         [](AuditStore &s, AuditFlowView &) {
             toYours(s);
             s.yoursSetName(0, QStringLiteral("Guitar"));
             s.yoursStepHours(0, 9);
             s.yoursAdd();
             s.yoursSetName(1, kEmojiName);
         }},
        {QStringLiteral("flow-yours-over"),
         [](AuditStore &s, AuditFlowView &) {
             toYours(s);
             s.yoursSetName(0, QStringLiteral("The novel"));
             s.yoursStepHours(0, 80);
         }},
        {QStringLiteral("flow-yours-five-rows"),
         [](AuditStore &s, AuditFlowView &flow) {
             toYours(s);
             const char *names[] = {"Guitar", "The novel", "", "Actual rest", "Climbing"};
             for (int i = 0; i < 5; ++i) {
                 if (i > 0)
                     s.yoursAdd();
                 s.yoursSetName(i, QString::fromUtf8(names[i]));
             }
             hover(flow.findChild<QWidget *>(QStringLiteral("audit.yours.row.1.remove")));
         }},
        {QStringLiteral("flow-yours-submit-error"),
         [](AuditStore &s, AuditFlowView &) {
             toYours(s);
             s.yoursSetName(0, QStringLiteral("Guitar"));
             s.setSubmitError(QStringLiteral("network_error"));
         }},
        {QStringLiteral("flow-focus-sleep-chip-on"),
         [](AuditStore &, AuditFlowView &flow) { tabFocus(flow, "audit.sleep.sleepChips.chip.4"); }, 960, 680},
        {QStringLiteral("flow-focus-sleep-web"),
         [](AuditStore &, AuditFlowView &flow) { tabFocus(flow, "audit.sleep.web"); }, 960, 680},
        {QStringLiteral("flow-focus-work-chip-off"),
         [](AuditStore &s, AuditFlowView &flow) {
             s.show(AuditScreen::work);
             tabFocus(flow, "audit.work.dayChips.chip.5");
         },
         960, 680},
        {QStringLiteral("flow-focus-work-back"),
         [](AuditStore &s, AuditFlowView &flow) {
             s.show(AuditScreen::work);
             tabFocus(flow, "audit.work.back");
         }},
        {QStringLiteral("flow-focus-work-alt"),
         [](AuditStore &s, AuditFlowView &flow) {
             s.show(AuditScreen::work);
             tabFocus(flow, "audit.work.pencil");
         }},
        {QStringLiteral("flow-focus-work-next"),
         [](AuditStore &s, AuditFlowView &flow) {
             s.show(AuditScreen::work);
             tabFocus(flow, "audit.work.next");
         }},
        {QStringLiteral("flow-focus-dash-stepper"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             tabFocus(flow, "audit.dash.tuneWork.stepper.inc");
         }},
        {QStringLiteral("flow-focus-dash-workouts"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             tabFocus(flow, "audit.dash.workouts");
         }},
        {QStringLiteral("flow-focus-dash-add"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             s.addActivity(AuditActivity{QStringLiteral("Reading"), 2.5, 1, 0});
             settle();
             tabFocus(flow, "audit.dash.add");
         }},
        {QStringLiteral("flow-focus-dash-remove"),
         [](AuditStore &s, AuditFlowView &flow) {
             toDash(s);
             s.addActivity(AuditActivity{QStringLiteral("Reading"), 2.5, 1, 0});
             settle();
             tabFocus(flow, "audit.dash.act.0.remove");
         }},
        {QStringLiteral("flow-focus-yours-stepper"),
         [](AuditStore &s, AuditFlowView &flow) {
             toYours(s);
             s.yoursSetName(0, QStringLiteral("Guitar"));
             tabFocus(flow, "audit.yours.row.0.hours.dec");
         }},
        {QStringLiteral("flow-yours-submitting"),
         [](AuditStore &s, AuditFlowView &) {
             toYours(s);
             s.yoursSetName(0, QStringLiteral("Guitar"));
             s.setIsSubmitting(true);
         }},
    };

    for (const Shot &shot : shots) {
        HourAuditView view(&ledger);
        view.setPollInterval(std::chrono::hours(1));
        AuditFlowView *flow = view.flow();
        view.resize(shot.width, shot.height > 0 ? shot.height : 680);
        view.show();
        settle();
        shot.state(*flow->store(), *flow);
        // The header's bar eases to its new fill whatever the motion setting.
        QElapsedTimer waited;
        waited.start();
        while (flow->header()->isAnimating() && waited.elapsed() < 5000)
            settle(10);
        settle();
        if (shot.height == 0) {
            // As tall as the page: the header and the whole screen column, nothing scrolled off.
            AuditScreenHost *host = flow->host(flow->shownScreen());
            const int page = host->widget()->heightForWidth(host->viewport()->width());
            view.resize(shot.width, flow->header()->height() + page);
            settle();
        }
        const QString file = dir.filePath(shot.name + QStringLiteral(".png"));
        view.grab().save(file);
        out << shot.name << ": " << view.width() << " x " << view.height() << '\n';
        out.flush();
    }
    qApp->setProperty(AuditMotion::reduceMotionProperty, QVariant());
}
