#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"

#include <QWidget>

#include <array>
#include <functional>

class OrvalenLinkButton;
class OrvalenProviderButton;

// The three ways to sign in, one button each: "Sign in with Apple", "Sign in with
// Google", "Continue with email", each calling `onTap` with its provider. While busy the
// three are disabled and drawn at 0.55 opacity, and, when `onCancelPending` is given, a
// "Cancel sign-in" button below them calls it. The owner decides every change.
class OrvalenProviderButtons final : public QWidget {
    Q_OBJECT
public:
    using ProviderHint = OAuthDriver::ProviderHint;
    using TapAction = std::function<void(ProviderHint)>;

    static constexpr qreal busyOpacity = 0.55;
    static inline const QString cancelTitle = QStringLiteral("Cancel sign-in");

    OrvalenProviderButtons(OrvalenProviderButtonStyle style, bool isBusy, std::function<void()> onCancelPending,
                           TapAction onTap, QWidget *parent = nullptr);

    bool isBusy() const { return m_isBusy; }
    void setBusy(bool isBusy);
    void setButtonStyle(const OrvalenProviderButtonStyle &style);
    void setOnCancelPending(std::function<void()> onCancelPending);

    OrvalenProviderButton *button(ProviderHint provider) const;
    // Null when not shown.
    OrvalenLinkButton *cancelButton() const;

private:
    void sync();

    OrvalenProviderButtonStyle m_style;
    bool m_isBusy;
    std::function<void()> m_onCancelPending;
    TapAction m_onTap;
    std::array<OrvalenProviderButton *, 3> m_buttons{};
    OrvalenLinkButton *m_cancel = nullptr;
};
