#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class AuditStepButton;

// A value with a − (U+2212) button before it and a + button after it, 12 apart, at its own
// size (it never stretches). The value is the caller's formatted text in bold monospaced 24
// (lg) or 21 (md), `text`, followed when there is a suffix by one space and the suffix in
// regular 14, `muted`, on one line, centred in at least 96 (lg) or 80 (md). The buttons are
// 40 (lg) or 36 (md) across.
class AuditStepper final : public QWidget {
    Q_OBJECT
public:
    enum class Size { lg, md };
    Q_ENUM(Size)

    AuditStepper(const QString &value, const std::optional<QString> &suffix, const QString &decLabel,
                 const QString &incLabel, Size size, QWidget *parent = nullptr);

    void setValue(const QString &value);
    QString value() const { return m_value; }
    void setSuffix(const std::optional<QString> &suffix);
    std::optional<QString> suffix() const { return m_suffix; }
    Size size() const { return m_size; }

    AuditStepButton *decButton() const { return m_dec; }
    AuditStepButton *incButton() const { return m_inc; }
    QWidget *valueView() const { return m_valueView; }

Q_SIGNALS:
    void decremented();
    void incremented();

private:
    void nameParts();

    QString m_value;
    std::optional<QString> m_suffix;
    Size m_size;
    AuditStepButton *m_dec;
    QWidget *m_valueView;
    AuditStepButton *m_inc;
};
