#include "Platform/ApplicationFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

QString ApplicationFont::pick(const QString &preferred, const QStringList &installed)
{
    for (const QString &family : installed) {
        if (family.compare(preferred, Qt::CaseInsensitive) == 0)
            return family;
    }
    return QString();
}

QString ApplicationFont::apply()
{
    QFont font = QGuiApplication::font();
    const QString family = pick(QString::fromLatin1(textFamily), QFontDatabase::families());
    if (!family.isEmpty()) {
        font.setFamilies({family});
        font.setStyleHint(QFont::SansSerif);
        QGuiApplication::setFont(font);
    }
    return QFontInfo(QGuiApplication::font()).family();
}

void ApplicationFont::warmUp()
{
    // Every function of the font database is thread-safe; the first one fills it.
    QFontDatabase::families();
}

QFont ApplicationFont::monospace()
{
    // Looked up once: the views ask for it whenever they measure a figure.
    static const QString family = pick(QString::fromLatin1(monospaceFamily), QFontDatabase::families());
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

QFont ApplicationFont::sized(int pixelSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}
