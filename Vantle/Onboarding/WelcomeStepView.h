#pragma once

#include <QSet>
#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class WelcomeAccentButton;
class WelcomeCheckboxRow;

// The welcome step as it is drawn: the logo and "Welcome to vantle", the consent sentence
// with its Terms of Service and Privacy Policy links, the card of e-mail opt-ins (one box
// per shown list, the card drawn even when empty) and "Continue". It holds no choice of
// its own: the gate sets what the boxes show and hears every tap. Return presses a focused
// box or link, and otherwise Continue, the step's main button.
class WelcomeStepView final : public QWidget {
    Q_OBJECT
public:
    static inline const QString title = QStringLiteral("Welcome to vantle");
    static inline const QString continueTitle = QStringLiteral("Continue");

    WelcomeStepView(QUrl termsURL, QUrl privacyURL, QWidget *parent = nullptr);

    // Shows a box for each list of `visible`, in the lists' order, ticked as given.
    void setMarketing(const QSet<QString> &visible, bool appOptIn, bool studioOptIn);

    WelcomeCheckboxRow *row(const QString &listSlug) const;
    WelcomeAccentButton *continueButton() const { return m_continue; }
    QLabel *termsLabel() const { return m_terms; }

Q_SIGNALS:
    // Each time the step comes on screen.
    void appeared();
    void optInTapped(const QString &listSlug);
    void continueTapped();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *m_terms = nullptr;
    QWidget *m_card = nullptr;
    WelcomeCheckboxRow *m_appRow = nullptr;
    WelcomeCheckboxRow *m_studioRow = nullptr;
    WelcomeAccentButton *m_continue = nullptr;
};
