#pragma once

#include "Vantle/Views/SettingsSection.h"

// The settings window's last section, without a header: the privacy policy, the terms of
// service and the support page, parted by middle dots.
class SettingsFooter final : public SettingsSection {
    Q_OBJECT
public:
    explicit SettingsFooter(QWidget *parent = nullptr);
};
