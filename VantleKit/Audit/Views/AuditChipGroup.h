#pragma once

#include <QPointer>
#include <QWidget>

class AuditLabel;
class QVBoxLayout;

// A labelled group of chips in a card: the label (semibold 14, `muted`) 12 above the content,
// 26 below the group unless it is the last.
class AuditChipGroup final : public QWidget {
    Q_OBJECT
public:
    AuditChipGroup(const QString &label, bool last, QWidget *content = nullptr, QWidget *parent = nullptr);

    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }
    void setLast(bool last);
    bool isLast() const { return m_last; }
    AuditLabel *label() const { return m_label; }

private:
    QVBoxLayout *m_layout;
    AuditLabel *m_label;
    QPointer<QWidget> m_content;
    bool m_last;
};
