#include "Vantle/Views/SettingsFooter.h"

#include "Platform/UrlOpener.h"
#include "Vantle/Views/SettingsLinks.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

SettingsFooter::SettingsFooter(QWidget *parent) : SettingsSection(QString(), parent)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addStretch(1);
    const struct {
        QString title;
        QUrl (*url)();
    } links[] = {
        {QStringLiteral("Privacy Policy"), &SettingsLinks::privacyPolicy},
        {QStringLiteral("Terms of Service"), &SettingsLinks::termsOfService},
        {QStringLiteral("Support"), &SettingsLinks::support},
    };
    bool first = true;
    for (const auto &link : links) {
        if (!first) {
            auto *dot = new QLabel(QStringLiteral("·"), row);
            dot->setObjectName(QStringLiteral("footerDot"));
            layout->addWidget(dot);
        }
        first = false;
        auto *button = new QPushButton(link.title, row);
        button->setObjectName(QStringLiteral("footerLink"));
        button->setAutoDefault(false);
        button->setCursor(Qt::PointingHandCursor);
        const auto url = link.url;
        connect(button, &QPushButton::clicked, this, [url]() { UrlOpener::open(url()); });
        layout->addWidget(button);
    }
    layout->addStretch(1);
    addRow(row);
}
