#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

class LedgerModel;
class OrvalenOutlineButton;
class QLabel;

// What a signed-in person sees when their week could not be loaded: a card in the look of
// the sign-in screen's offline card, saying so, with a Retry. The ledger keeps retrying on
// its own schedule meanwhile; whichever brings the week, the root view moves on by itself.
// While a retry is on its way the button says so, and pressing it again adds nothing.
// Retry is the card's one control: it has the keyboard's focus when the card comes, and
// Return presses it wherever the focus is in the card.
class LedgerOfflineView final : public QWidget {
    Q_OBJECT
public:
    static inline const QString title = QStringLiteral("Can\u2019t load your week");
    static inline const QString text =
        QStringLiteral("Check your internet connection. Vantle keeps trying and shows your week as soon as it arrives.");
    static inline const QString retryTitle = QStringLiteral("Retry");
    static inline const QString retryingTitle = QStringLiteral("Retrying\u2026");

    // A press says "Retrying…" at least this long, so that an answer that comes at once (a
    // refused connection) still shows the press was heard.
    static constexpr std::chrono::milliseconds minimumTrying{800};

    explicit LedgerOfflineView(LedgerModel *ledger, QWidget *parent = nullptr);

    OrvalenOutlineButton *retryButton() const { return m_retry; }
    // Tests lengthen it, so that what shows after a quick answer can be looked at.
    void setMinimumTrying(std::chrono::milliseconds duration) { m_tryingShown.setInterval(duration); }

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void retry();
    void sync();

    QPointer<LedgerModel> m_ledger;
    OrvalenOutlineButton *m_retry;
    QTimer m_tryingShown;
};
