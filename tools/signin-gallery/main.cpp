// Renders the sign-in screen in every phase and both styles to PNG files, offscreen, so
// the look can be checked without a display:
//
//   signin-gallery <output folder> [--scale <factor>]
//
// Files: signin-<style>-<phase>.png.

#include "OrvalenAccount/UI/OrvalenSignInScreen.h"
#include "Platform/ApplicationFont.h"
#include "Vantle/Onboarding/VantleLogo.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Onboarding/WelcomeStepView.h"
#include "Vantle/Utilities/Theme.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTextStream>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

using Phase = OrvalenSignInScreen::Phase;

// A window-sized backdrop in the surrounding's colour.
class Backdrop final : public QWidget {
public:
    explicit Backdrop(QColor color) : m_color(color)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    void add(QWidget *widget) { layout()->addWidget(widget); }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_color); }

private:
    QColor m_color;
};

bool save(QWidget *widget, const QDir &folder, const QString &name, QSize size)
{
    widget->resize(size);
    widget->show();
    QApplication::processEvents();
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    const bool ok = widget->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    widget->hide();
    return ok;
}

int renderSignIn(const QDir &folder)
{
    int failures = 0;
    const struct {
        const char *name;
        OrvalenProviderButtonStyle style;
        QColor backdrop;
    } styles[] = {
        {"dark", OrvalenProviderButtonStyle::dark(Theme::accent), Theme::canvas},
        {"light", OrvalenProviderButtonStyle::light(QColor(0x2F, 0x6F, 0xEB)), QColor(0xF5, 0xF5, 0xF7)},
    };
    const struct {
        const char *name;
        Phase phase;
    } phases[] = {
        {"ready", Phase::ready()},
        {"busy", Phase::busy()},
        {"offline", Phase::offline()},
        {"error", Phase::error(QStringLiteral("Sign-in didn't complete. Please try again."))},
    };
    for (const auto &style : styles) {
        for (const auto &phase : phases) {
            Backdrop backdrop(style.backdrop);
            backdrop.add(new OrvalenSignInScreen(
                VantleLogo::icon(), QStringLiteral("vantle"), QStringLiteral("Sign in to vantle with your Orvalen Account"),
                style.style, phase.phase, QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")),
                QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")), [](OAuthDriver::ProviderHint) {}, [] {},
                [] {}));
            const QString name = QStringLiteral("signin-%1-%2").arg(QLatin1String(style.name), QLatin1String(phase.name));
            failures += save(&backdrop, folder, name, QSize(960, 680)) ? 0 : 1;
        }
    }
    return failures;
}

int renderWelcome(const QDir &folder)
{
    int failures = 0;
    const QSet<QString> both = WelcomeConsent::allListSlugs();
    const struct {
        const char *name;
        QSet<QString> visible;
        bool appOptIn, studioOptIn;
    } cases[] = {
        {"optins-on", both, true, true},
        {"optins-off", both, false, false},
        {"one-list", {WelcomeConsent::studioListSlug}, false, true},
        {"no-lists", {}, false, false},
    };
    for (const auto &c : cases) {
        Backdrop backdrop(Theme::canvas);
        auto *view = new WelcomeStepView(QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")),
                                         QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")));
        view->setMarketing(c.visible, c.appOptIn, c.studioOptIn);
        backdrop.add(view);
        failures += save(&backdrop, folder, QStringLiteral("welcome-%1").arg(QLatin1String(c.name)), QSize(960, 680)) ? 0 : 1;
    }
    // A short window: the step scrolls rather than squeezing its rows.
    Backdrop small(Theme::canvas);
    auto *view = new WelcomeStepView(QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")),
                                     QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")));
    view->setMarketing(both, true, false);
    small.add(view);
    failures += save(&small, folder, QStringLiteral("welcome-small-window"), QSize(420, 360)) ? 0 : 1;
    return failures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--scale")
            qputenv("QT_SCALE_FACTOR", argv[i + 1]);
    }
    QApplication app(argc, argv);
    ApplicationFont::apply();
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args.at(1).startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: signin-gallery <output folder> [--scale <factor>]\n");
        return 2;
    }
    QDir folder(args.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }
    int failures = renderSignIn(folder);
    failures += renderWelcome(folder);
    return failures == 0 ? 0 : 1;
}
