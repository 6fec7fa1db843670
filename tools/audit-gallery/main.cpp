// Renders every Hour Audit component in each of its states to PNG files, offscreen, so the
// look can be checked against the design without a display:
//
//   audit-gallery <output folder> [--scale <factor>]
//
// Each file is named <component>-<state>.png; the size of every component is printed.

#include "FlowGallery.h"

#include "VantleKit/Audit/Views/AuditActions.h"
#include "VantleKit/Audit/Views/AuditAltButton.h"
#include "VantleKit/Audit/Views/AuditBackButton.h"
#include "VantleKit/Audit/Views/AuditCard.h"
#include "VantleKit/Audit/Views/AuditChipButton.h"
#include "VantleKit/Audit/Views/AuditChipGroup.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditFont.h"
#include "VantleKit/Audit/Views/AuditH1.h"
#include "VantleKit/Audit/Views/AuditHelp.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditPalette.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditQSub.h"
#include "VantleKit/Audit/Views/AuditRemoveButton.h"
#include "VantleKit/Audit/Views/AuditStepButton.h"
#include "VantleKit/Audit/Views/AuditStepper.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include "Platform/ApplicationFont.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QTextStream>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

// The canvas the components stand on, in the palette in effect for it.
class Stage final : public QWidget {
public:
    Stage()
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(28, 28, 28, 40);
        layout->setSpacing(0);
    }
    void add(QWidget *widget, Qt::Alignment alignment = {})
    {
        static_cast<QVBoxLayout *>(layout())->addWidget(widget, 0, alignment);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), AuditPalette::of(this).canvas);
    }
};

void settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void hover(QWidget *widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QEnterEvent event(at, widget->mapTo(widget->window(), at), widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
}

struct Gallery {
    QDir dir;
    QTextStream out{stdout};

    // Builds the component on a fresh stage, applies the state, saves the picture.
    void shoot(const QString &name, const std::function<QWidget *()> &make,
               const std::function<void(QWidget *)> &state = {}, int width = 0,
               const AuditPalette *palette = nullptr)
    {
        Stage stage;
        if (palette)
            AuditPalette::set(&stage, *palette);
        QWidget *component = make();
        stage.add(component, width > 0 ? Qt::Alignment() : Qt::AlignLeft);
        if (width > 0) {
            const int stageWidth = width + 56;
            stage.setFixedWidth(stageWidth);
            QLayout *layout = stage.layout();
            stage.setFixedHeight(layout->hasHeightForWidth() ? layout->totalHeightForWidth(stageWidth)
                                                             : layout->totalSizeHint().height());
        } else {
            stage.adjustSize();
        }
        stage.show();
        stage.activateWindow();
        settle();
        if (state)
            state(component);
        settle();
        const QString file = dir.filePath(name + QStringLiteral(".png"));
        stage.grab().save(file);
        out << name << ": " << component->width() << " x " << component->height() << '\n';
        out.flush();
    }
};

QList<AuditChipOption> hourOptions()
{
    return {{6, QStringLiteral("6h")}, {6.5, QStringLiteral("6½h")}, {7, QStringLiteral("7h")},
            {7.5, QStringLiteral("7½h")}, {8, QStringLiteral("8h")}, {8.5, QStringLiteral("8½h")},
            {9, QStringLiteral("9h")}};
}

QList<AuditChipOption> dayOptions()
{
    QList<AuditChipOption> days;
    const char *names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int i = 0; i < 7; ++i)
        days.append({double(i), QString::fromLatin1(names[i])});
    return days;
}

AuditTextRuns wakingLine()
{
    return {AuditTextRun::plain(QStringLiteral("Awake 6:30 AM to 10:30 PM. That's ")),
            AuditTextRun::emphasis(QStringLiteral("112 waking hours a week"), QFont::Bold, AuditRole::accentInk),
            AuditTextRun::plain(QStringLiteral(". The same 112 everyone gets."))};
}

QWidget *sampleScreen()
{
    auto *screen = new QWidget;
    auto *column = new QVBoxLayout(screen);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(new AuditH1(QStringLiteral("How much sleep do you need?")));
    column->addWidget(new AuditQSub(QStringLiteral("Be honest, not aspirational. And when are you up?")));
    auto *card = new AuditCard;
    auto *sleep = new AuditChips(hourOptions(), false, [](double v) { return v == 8; });
    card->addWidget(new AuditChipGroup(QStringLiteral("Sleep a night"), false, sleep));
    QList<AuditChipOption> wake;
    for (double h = 5; h <= 8; h += 0.5)
        wake.append({h, QStringLiteral("%1:%2 AM").arg(int(h)).arg(h == int(h) ? QStringLiteral("00") : QStringLiteral("30"))});
    auto *wakeChips = new AuditChips(wake, false, [](double v) { return v == 6.5; });
    card->addWidget(new AuditChipGroup(QStringLiteral("Up and moving by"), true, wakeChips));
    card->addWidget(new AuditHelp(wakingLine()));
    column->addWidget(card);
    column->addWidget(new AuditActions(nullptr, new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg, true)));
    return screen;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--scale") == 0)
            qputenv("QT_SCALE_FACTOR", argv[i + 1]);
    }
    QApplication app(argc, argv);
    ApplicationFont::apply();
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.at(1).startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: audit-gallery <output folder> [--scale <factor>]\n");
        return 2;
    }
    Gallery gallery;
    gallery.dir = QDir(args.at(1));
    if (!gallery.dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }

    const auto none = std::function<void(QWidget *)>();
    const auto hovered = [](QWidget *w) { hover(w); };
    const auto disabled = [](QWidget *w) { w->setEnabled(false); };
    const auto disabledHovered = [](QWidget *w) { w->setEnabled(false); hover(w); };
    // The focus as Tab gives it (the window's own, given on activation, shows nothing).
    const auto keyboardFocus = [](QWidget *w) {
        w->window()->setFocus();
        w->setFocus(Qt::TabFocusReason);
    };

    // Text styles
    gallery.shoot("h1-normal", [] { return new AuditH1(QStringLiteral("Meals, getting ready, chores. How much a day?")); }, none, 520);
    gallery.shoot("qsub-normal", [] { return new AuditQSub(QStringLiteral("Family, friends, the good stuff. Guess big; this is time you want spoken for.")); }, none, 800);
    gallery.shoot("help-normal", [] { return new AuditHelp(wakingLine()); }, none, 520);
    // A name typed without a space breaks inside itself instead of widening the card.
    gallery.shoot("card-long-name", [] {
        auto *card = new AuditCard;
        card->addWidget(new AuditH1(QStringLiteral("Supercalifragilisticexpialidociousnesses")));
        card->addWidget(new AuditHelp({AuditTextRun::plain(QStringLiteral("Supercalifragilisticexpialidociousnesses, "
                                                                          "40 characters, 15 a week."))}));
        return card;
    }, none, 360);
    gallery.shoot("label-centred", [] {
        auto *label = new AuditLabel(QStringLiteral("168 total. 56 asleep. 74 committed. Every hour counted once."),
                                     AuditFont::system(14), AuditRole::muted);
        label->setLineSpacing(3);
        label->setLineAlignment(Qt::AlignHCenter);
        return label;
    }, none, 300);

    // Buttons
    for (auto size : {AuditPrimaryButton::Size::lg, AuditPrimaryButton::Size::sm}) {
        const QString base = size == AuditPrimaryButton::Size::lg ? QStringLiteral("primary-lg") : QStringLiteral("primary-sm");
        const auto make = [size] { return new AuditPrimaryButton(QStringLiteral("Next →"), size, true); };
        gallery.shoot(base + "-normal", make);
        gallery.shoot(base + "-hovered", make, hovered);
        gallery.shoot(base + "-disabled", make, disabled);
        gallery.shoot(base + "-disabled-hovered", make, disabledHovered);
    }
    const auto back = [] { return new AuditBackButton(QStringLiteral("← Back")); };
    gallery.shoot("back-normal", back);
    gallery.shoot("back-hovered", back, hovered);
    const auto alt = [] { return new AuditAltButton(QStringLiteral("Irregular schedule? Pencil in 45h")); };
    gallery.shoot("alt-normal", alt);
    gallery.shoot("alt-hovered", alt, hovered);
    const auto remove = [] { return new AuditRemoveButton(QStringLiteral("Remove Guitar")); };
    gallery.shoot("remove-normal", remove);
    gallery.shoot("remove-hovered", remove, hovered);
    const auto step = [] { return new AuditStepButton(QStringLiteral("\u2212"), QStringLiteral("Less Sleep"), 40); };
    gallery.shoot("step-normal", step);
    gallery.shoot("step-hovered", step, hovered);

    // Chips
    const auto chip = [](bool day, bool on) {
        return [day, on] {
            return new AuditChipButton(day ? AuditChipOption{0, QStringLiteral("Mon")} : AuditChipOption{6.5, QStringLiteral("6:30 AM")}, day, on);
        };
    };
    for (bool day : {false, true}) {
        const QString base = day ? QStringLiteral("chip-day") : QStringLiteral("chip");
        gallery.shoot(base + "-off", chip(day, false));
        gallery.shoot(base + "-off-hovered", chip(day, false), hovered);
        gallery.shoot(base + "-on", chip(day, true));
        gallery.shoot(base + "-on-hovered", chip(day, true), hovered);
        gallery.shoot(base + "-off-focused", chip(day, false), keyboardFocus);
        gallery.shoot(base + "-on-focused", chip(day, true), keyboardFocus);
    }
    gallery.shoot("chips-row", [] { return new AuditChips(hourOptions(), false, [](double v) { return v == 8; }); }, none, 420);
    gallery.shoot("chips-days", [] {
        return new AuditChips(dayOptions(), true, [](double v) { return v < 5; });
    }, none, 700);
    gallery.shoot("chipgroup-normal", [] {
        return new AuditChipGroup(QStringLiteral("Sleep a night"), false,
                                  new AuditChips(hourOptions(), false, [](double v) { return v == 8; }));
    }, none, 700);

    // Stepper
    gallery.shoot("stepper-lg-suffix", [] {
        return new AuditStepper(QStringLiteral("7½"), QStringLiteral("h/night"), QStringLiteral("Less Sleep"), QStringLiteral("More Sleep"), AuditStepper::Size::lg);
    });
    gallery.shoot("stepper-md-plain", [] {
        return new AuditStepper(QStringLiteral("2"), std::nullopt, QStringLiteral("Fewer"), QStringLiteral("More"), AuditStepper::Size::md);
    });
    gallery.shoot("stepper-lg-hovered", [] {
        return new AuditStepper(QStringLiteral("45"), QStringLiteral("h"), QStringLiteral("Less Work"), QStringLiteral("More Work"), AuditStepper::Size::lg);
    }, [](QWidget *w) { hover(static_cast<AuditStepper *>(w)->incButton()); });

    // Text input
    const auto input = [] { return new AuditTextInput(QStringLiteral("Side project, guitar, reading to the kids")); };
    // An active window hands its first field the focus; the unfocused states take it away.
    gallery.shoot("input-placeholder", input, [](QWidget *w) { w->window()->setFocus(); }, 420);
    gallery.shoot("input-filled", input, [](QWidget *w) {
        static_cast<AuditTextInput *>(w)->setText(QStringLiteral("Guitar"));
        w->window()->setFocus();
    }, 420);
    gallery.shoot("input-focused", input, [](QWidget *w) {
        auto *field = static_cast<AuditTextInput *>(w);
        field->setText(QStringLiteral("Guitar"));
        field->field()->setFocus();
        field->field()->deselect();
    }, 420);

    // Card, actions, a whole screen, and the same card in another palette
    gallery.shoot("card-normal", [] {
        auto *card = new AuditCard;
        card->addWidget(new AuditChipGroup(QStringLiteral("A day, roughly"), true,
                                           new AuditChips({{1, "1h"}, {1.5, "1½h"}, {2, "2h"}, {2.5, "2½h"}, {3, "3h"}, {4, "4h"}}, false, [](double v) { return v == 2; })));
        card->addWidget(new AuditHelp({AuditTextRun::plain("That's "), AuditTextRun::emphasis("14 hours a week", QFont::Bold, AuditRole::accentInk), AuditTextRun::plain(" before anything fun happens.")}));
        return card;
    }, none, 700);
    gallery.shoot("actions-normal", [] {
        return new AuditActions(new AuditBackButton(QStringLiteral("← Back")), new AuditPrimaryButton(QStringLiteral("See my week →"), AuditPrimaryButton::Size::lg, true));
    }, none, 700);
    gallery.shoot("screen-sleep", sampleScreen, none, 860);
    AuditPalette light = AuditPalette::coal();
    light.canvas = vantHex(0xF4F1EA);
    light.card = vantHex(0xFFFFFF);
    light.border = vantHex(0xE2DED5);
    light.text = vantHex(0x1D1B16);
    light.muted = vantHex(0x6E6A61);
    light.accentInk = vantHex(0xB86E00);
    gallery.shoot("screen-sleep-light", sampleScreen, none, 860, &light);
    // A card flush in a container that paints its own background still casts its whole shadow.
    gallery.shoot("card-flush-light", [light] {
        auto *container = new QWidget;
        QPalette background = container->palette();
        background.setColor(QPalette::Window, light.canvas);
        container->setPalette(background);
        container->setAutoFillBackground(true);
        auto *column = new QVBoxLayout(container);
        column->setContentsMargins(0, 0, 0, 0);
        auto *card = new AuditCard;
        card->addWidget(new AuditChipGroup(QStringLiteral("A day, roughly"), true,
                                           new AuditChips({{1, "1h"}, {2, "2h"}, {3, "3h"}}, false, [](double v) { return v == 2; })));
        column->addWidget(card);
        return container;
    }, none, 500, &light);

    // The screens of the whole flow, in the application's host.
    shootFlows(gallery.dir, gallery.out);
    return 0;
}
