#pragma once

#include <QPointer>
#include <QWidget>

class LedgerModel;
class OrvalenOutlineButton;
class QLabel;

// What a signed-in person sees when their week could not be loaded: a card in the look of
// the sign-in screen's offline card, saying so, with a Retry. The ledger keeps retrying on
// its own schedule meanwhile; whichever brings the week, the root view moves on by itself.
// While a retry is on its way the button says so, and pressing it again adds nothing.
class LedgerOfflineView final : public QWidget {
    Q_OBJECT
public:
    static inline const QString title = QStringLiteral("Can\u2019t load your week");
    static inline const QString text =
        QStringLiteral("Check your internet connection. Vantle keeps trying and shows your week as soon as it arrives.");
    static inline const QString retryTitle = QStringLiteral("Retry");
    static inline const QString retryingTitle = QStringLiteral("Retrying\u2026");

    explicit LedgerOfflineView(LedgerModel *ledger, QWidget *parent = nullptr);

    OrvalenOutlineButton *retryButton() const { return m_retry; }

private:
    void sync();

    QPointer<LedgerModel> m_ledger;
    OrvalenOutlineButton *m_retry;
};
