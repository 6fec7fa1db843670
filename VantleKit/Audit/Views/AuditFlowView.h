#pragma once

#include "AuditPalette.h"

#include "VantleKit/Audit/AuditScreen.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class AuditHeader;
class AuditScreenHost;
class AuditStore;

// The Hour Audit as one view: the header above six screen hosts (the four questions, the
// dashboard and the yours step), of which only the store's current screen is shown and
// takes input, all on the palette's canvas. Every screen is built at once and follows the
// store; moving between them is the store's business (its intents).
//
// The flow owns its store for its whole life, and writes `palette` onto itself so every
// view below draws with it. `sleepFooter`, when given, stands under the first question's
// actions (the application puts its web fallback there); the flow takes it over.
//
// From the keyboard, Tab and Shift+Tab go round the controls of the shown screen in reading
// order (top to bottom, and left to right within a row), scrolling each into view. A new
// screen starts with the focus on the flow itself, so the next Tab reaches its first control
// and Return still finds the screen's default button.
//
// A focused control that is hidden hands its focus to the control after it (or else before
// it). One that is disabled while it works ("Start tracking" sending the audit) leaves the
// focus with the flow, unseen, so a second key press does nothing: Tab goes on from where it
// stood, and it takes the focus back, of the same kind, when it is enabled again, or hands it
// on as a hidden one does if it is hidden first. Nothing moved on the person's behalf selects
// the text of a field.
class AuditFlowView final : public QWidget {
    Q_OBJECT
public:
    AuditFlowView(const AuditPalette &palette, std::unique_ptr<AuditStore> store, QWidget *sleepFooter = nullptr,
                  QWidget *parent = nullptr);
    ~AuditFlowView() override;

    AuditStore *store() const { return m_store; }
    AuditHeader *header() const { return m_header; }
    AuditScreenHost *host(AuditScreen screen) const;
    // The screen view inside the host of `screen`.
    QWidget *screen(AuditScreen screen) const;
    // The screen whose host is shown.
    AuditScreen shownScreen() const { return m_shown; }
    // The controls Tab goes through on the shown screen, in order.
    QList<QWidget *> tabOrder() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void syncScreen();
    QList<QWidget *> tabStops(const QWidget *keep) const;
    // Hands the focus of `control`, being hidden, to the shown control after it in reading
    // order, or else the one before, or else to the flow; false when the shown screen has no
    // controls at all.
    bool handOn(QWidget *control, bool byKeyboard);
    void park(QWidget *control);
    void unpark();

    AuditStore *m_store;
    AuditHeader *m_header;
    std::array<AuditScreenHost *, 6> m_hosts{};
    AuditScreen m_shown;
    // The disabled control whose focus the flow holds, and whether the keyboard had given it.
    QPointer<QWidget> m_parked;
    bool m_parkedByKeyboard = false;
};
