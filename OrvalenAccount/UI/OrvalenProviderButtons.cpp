#include "OrvalenAccount/UI/OrvalenProviderButtons.h"

#include "Platform/ApplicationFont.h"
#include "OrvalenAccount/UI/OrvalenLinkButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"

#include <QVBoxLayout>

#include <algorithm>

#include <utility>

OrvalenProviderButtons::OrvalenProviderButtons(OrvalenProviderButtonStyle style, bool isBusy,
                                               std::function<void()> onCancelPending, TapAction onTap,
                                               QWidget *parent)
    : QWidget(parent)
    , m_style(style)
    , m_isBusy(isBusy)
    , m_onCancelPending(std::move(onCancelPending))
    , m_onTap(std::move(onTap))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    const std::array<ProviderHint, 3> order{ProviderHint::apple, ProviderHint::google, ProviderHint::email};
    for (std::size_t i = 0; i < order.size(); ++i) {
        auto *button = new OrvalenProviderButton(order[i], m_style, this);
        connect(button, &QAbstractButton::clicked, this, [this, provider = order[i]] {
            // A disabled button sends no click; the check covers a click queued just before.
            if (!m_isBusy && m_onTap)
                m_onTap(provider);
        });
        layout->addWidget(button);
        m_buttons[i] = button;
    }
    m_cancel = new OrvalenLinkButton(cancelTitle, ApplicationFont::sized(13, QFont::Medium), m_style.accent(), this);
    m_cancel->setObjectName(QStringLiteral("cancelSignIn"));
    connect(m_cancel, &QAbstractButton::clicked, this, [this] {
        if (m_isBusy && m_onCancelPending)
            m_onCancelPending();
    });
    layout->addSpacing(2);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    sync();
}

void OrvalenProviderButtons::setBusy(bool isBusy)
{
    if (m_isBusy == isBusy)
        return;
    m_isBusy = isBusy;
    sync();
}

void OrvalenProviderButtons::setButtonStyle(const OrvalenProviderButtonStyle &style)
{
    m_style = style;
    for (OrvalenProviderButton *button : m_buttons)
        button->setButtonStyle(style);
    m_cancel->setColor(style.accent());
}

void OrvalenProviderButtons::setOnCancelPending(std::function<void()> onCancelPending)
{
    m_onCancelPending = std::move(onCancelPending);
    sync();
}

OrvalenProviderButton *OrvalenProviderButtons::button(ProviderHint provider) const
{
    for (OrvalenProviderButton *button : m_buttons) {
        if (button->provider() == provider)
            return button;
    }
    return nullptr;
}

OrvalenLinkButton *OrvalenProviderButtons::cancelButton() const
{
    return m_cancel->isVisibleTo(this) ? m_cancel : nullptr;
}

void OrvalenProviderButtons::sync()
{
    // Focus leaving a control that is about to be disabled or hidden goes to its
    // counterpart, not (as Qt would) to the next control as if the person had pressed Tab.
    const bool cancelShown = m_isBusy && static_cast<bool>(m_onCancelPending);
    const auto focusedProvider =
        std::find_if(m_buttons.begin(), m_buttons.end(), [](const QWidget *b) { return b->hasFocus(); });
    if (m_isBusy && focusedProvider != m_buttons.end() && cancelShown) {
        m_cancel->setVisible(true);
        PaintedButton::handFocus(*focusedProvider, m_cancel);
    }
    for (OrvalenProviderButton *button : m_buttons) {
        button->setEnabled(!m_isBusy);
        button->setOpacity(m_isBusy ? busyOpacity : 1.0);
    }
    if (!cancelShown && m_cancel->hasFocus())
        PaintedButton::handFocus(m_cancel, m_buttons.front());
    m_cancel->setVisible(cancelShown);
}
