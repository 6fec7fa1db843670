#pragma once

#include <QPointer>
#include <QWidget>

class QHBoxLayout;

// The foot row of a screen: the leading content, room that shrinks to nothing, the trailing
// content, vertically centred, 18 apart, 34 below what comes before it. Either side may be
// empty.
class AuditActions final : public QWidget {
    Q_OBJECT
public:
    AuditActions(QWidget *leading, QWidget *trailing, QWidget *parent = nullptr);

    void setLeading(QWidget *leading);
    void setTrailing(QWidget *trailing);
    QWidget *leading() const { return m_leading; }
    QWidget *trailing() const { return m_trailing; }

private:
    void rebuild();

    QHBoxLayout *m_layout;
    QPointer<QWidget> m_leading;
    QPointer<QWidget> m_trailing;
};
