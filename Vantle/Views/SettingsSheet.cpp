#include "Vantle/Views/SettingsSheet.h"

#include "Platform/ApplicationFont.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/FocusRing.h"
#include "Vantle/Views/TitleBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int buttonRadius = 6;

QString rgb(const QColor &color) { return color.name(QColor::HexRgb); }

QString sheetStyle()
{
    return QStringLiteral(
               "SettingsSheet { background: %1; border: 1px solid %9; }"
               "QLabel#sheetTitle { color: %2; font-size: 17px; font-weight: 600; }"
               "QLabel#sheetBody { color: %3; font-size: 13px; }"
               "QLabel#sheetCode { color: %2; font-family: \"%8\"; font-size: 22px; font-weight: 600;"
               "  padding: 8px 0px; }"
               "QPushButton { font-size: 13px; border-radius: 6px; padding: 5px 12px; }"
               "QPushButton#sheetPrimary { color: %4; background: %5; border: none; font-weight: 600; }"
               "QPushButton#sheetPrimary:hover { background: %6; }"
               "QPushButton#sheetSecondary { color: %2; background: %7; border: 1px solid %9; }"
               "QPushButton#sheetSecondary:hover { border-color: %3; }"
               // The buttons' focus is a ring of their own (FocusRing), not the style's dotted frame.
               "QPushButton:focus { outline: none; }")
        .arg(rgb(Theme::surface), rgb(Theme::text), rgb(Theme::muted), rgb(Theme::accentInk), rgb(Theme::accent),
             rgb(Theme::accent.lighter(110)), rgb(Theme::card), QString::fromLatin1(ApplicationFont::monospaceFamily),
             rgb(Theme::border));
}

} // namespace

SettingsSheet::SettingsSheet(const QString &title, const QString &body, const QString &secondaryText,
                             const QString &primaryText, QWidget *parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(title);
    setStyleSheet(sheetStyle());
    // Wider than the design where the title bar needs it: the title is cut, else.
    setFixedWidth(std::max(sheetWidth, TitleBar::widthFor(title)));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);

    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("sheetTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);

    m_body = new QLabel(body, this);
    m_body->setObjectName(QStringLiteral("sheetBody"));
    // Error texts come from a server: never markup.
    m_body->setTextFormat(Qt::PlainText);
    m_body->setWordWrap(true);
    m_body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_body);

    m_code = new QLabel(this);
    m_code->setObjectName(QStringLiteral("sheetCode"));
    m_code->setTextFormat(Qt::PlainText);
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_code->hide();
    layout->addWidget(m_code);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(10);
    buttons->addStretch(1);
    m_secondary = new QPushButton(secondaryText, this);
    m_secondary->setObjectName(QStringLiteral("sheetSecondary"));
    m_secondary->setAutoDefault(false);
    m_secondary->setCursor(Qt::PointingHandCursor);
    m_primary = new QPushButton(primaryText, this);
    m_primary->setObjectName(QStringLiteral("sheetPrimary"));
    m_primary->setCursor(Qt::PointingHandCursor);
    // Return takes the primary action.
    m_primary->setAutoDefault(false);
    m_primary->setDefault(true);
    FocusRing::install(m_secondary, buttonRadius, FocusRing::Fill::plain);
    FocusRing::install(m_primary, buttonRadius, FocusRing::Fill::accent);
    buttons->addWidget(m_secondary);
    buttons->addWidget(m_primary);
    layout->addLayout(buttons);
    fitHeight();
}

QString SettingsSheet::titleText() const { return m_title->text(); }

QString SettingsSheet::bodyText() const { return m_body->text(); }

void SettingsSheet::setBodyText(const QString &text)
{
    m_body->setText(text);
    fitHeight();
}

void SettingsSheet::setCode(const QString &code)
{
    m_code->setText(code);
    m_code->show();
    fitHeight();
}

QString SettingsSheet::codeText() const { return m_code->text(); }

void SettingsSheet::fitHeight()
{
    // A top-level window does not follow its wrapped labels' height for its width: fix the
    // height to what the texts need, measured with the style sheet's fonts in effect.
    ensurePolished();
    layout()->activate();
    setFixedHeight(layout()->hasHeightForWidth() ? layout()->heightForWidth(width())
                                                 : layout()->sizeHint().height());
}
