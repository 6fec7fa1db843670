#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"
#include "OrvalenAccount/UI/PaintedButton.h"

// One provider's button: a full-width rounded button whose fill and text follow the
// provider and the style (Apple: the surrounding's strongest contrast; Google: outlined;
// e-mail: the accent). Drawn at a given opacity so a busy screen can fade it.
class OrvalenProviderButton final : public PaintedButton {
    Q_OBJECT
public:
    using ProviderHint = OAuthDriver::ProviderHint;

    OrvalenProviderButton(ProviderHint provider, OrvalenProviderButtonStyle style, QWidget *parent = nullptr);

    // "Sign in with Apple", "Sign in with Google", "Continue with email".
    static QString title(ProviderHint provider);

    ProviderHint provider() const { return m_provider; }
    void setButtonStyle(const OrvalenProviderButtonStyle &style);
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ProviderHint m_provider;
    OrvalenProviderButtonStyle m_style;
    qreal m_opacity = 1.0;
};
