#pragma once

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

class AccountService;
class CategoryListView;
class LedgerModel;
class MeetingsService;
class MeetingsStrip;
class Preferences;
class QLabel;
class QPushButton;

// The main window's content once the person has categories: their week's categories with
// the weekly budgets, the account they are signed in with, the way to the settings, and,
// while "vantle.showMeetings" is on, today's remaining meetings beside the ledger.
class MainView final : public QWidget {
    Q_OBJECT
public:
    static inline const QString showMeetingsKey = QStringLiteral("vantle.showMeetings");
    static inline const QString settingsText = QStringLiteral("Settings…");
    // Under the top bar while the week shown could not be refreshed.
    static inline const QString staleText = QStringLiteral("Couldn’t update your week. Vantle keeps trying.");
    // How often the strip drops meetings that have ended while it is on screen.
    static constexpr std::chrono::milliseconds stripTick{60000};

    // `preferences`: the standard ones when null.
    MainView(LedgerModel *ledger, AccountService *account, MeetingsService *meetings, Preferences *preferences = nullptr,
             QWidget *parent = nullptr);
    ~MainView() override;

    bool showMeetings() const { return m_showMeetings; }
    MeetingsStrip *meetingsStrip() const { return m_strip; }
    CategoryListView *categoryList() const { return m_categories; }
    QString accountText() const;
    QPushButton *settingsButton() const { return m_settingsButton; }
    QLabel *staleLine() const { return m_staleLine; }

Q_SIGNALS:
    void openSettingsRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void readShowMeetings();
    void updateStrip();
    void updateStripTimer();
    void updateAccount();
    static QCoro::Task<void> askCalendar(QPointer<MainView> self, QPointer<MeetingsService> meetings);

    QPointer<LedgerModel> m_ledger;
    QPointer<AccountService> m_account;
    QPointer<MeetingsService> m_meetings;
    QPointer<Preferences> m_preferences;
    bool m_showMeetings = false;
    bool m_askingCalendar = false;

    QLabel *m_accountLabel;
    QLabel *m_staleLine;
    QPushButton *m_settingsButton;
    CategoryListView *m_categories;
    MeetingsStrip *m_strip;
    QTimer m_stripTimer;
};
