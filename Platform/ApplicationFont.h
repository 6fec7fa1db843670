#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// The application's fonts: Inter for text and JetBrains Mono for its monospaced design, both
// with every weight the views name (regular to heavy); when one is not installed, the
// desktop's default sans or fixed font takes its place. The fonts the desktop offers by
// default lack the semibold and heavy weights, so without these a selected option differs
// from the others only by colour and headings are never heavy.
//
// apply() is called once by every program with views (the application, the tools, the test
// main) right after it creates its application object.
class ApplicationFont final {
public:
    ApplicationFont() = delete;

    static constexpr const char *textFamily = "Inter";
    static constexpr const char *monospaceFamily = "JetBrains Mono";

    // Makes Inter the application's font, keeping its size; without Inter the default stays.
    // Returns the family now in use.
    static QString apply();

    // Reads the desktop's fonts (fontconfig's configuration and the description of every
    // font), which the first text drawn or apply() would otherwise wait for. Any thread, once
    // the application object exists: start-up does it while the main window is being built.
    static void warmUp();

    // The monospaced design of the application's font, at the application font's size.
    static QFont monospace();

    // The application's font `pixelSize` pixels high and of `weight`, never italic or
    // underlined (a parent's style must not leak into a view's own texts). One point of the
    // design is one pixel, as everywhere in the views: a size in typographic points would
    // draw a third larger at 96 dpi and differ from one screen to the next.
    static QFont sized(int pixelSize, QFont::Weight weight = QFont::Normal);

    // `preferred` when it is among the `installed` families (compared as fontconfig does,
    // ignoring case), else an empty text: keep the default.
    static QString pick(const QString &preferred, const QStringList &installed);
};
