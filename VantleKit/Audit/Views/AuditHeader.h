#pragma once

#include <QWidget>

#include <optional>

class QVariantAnimation;

// The bar above every screen of the audit, on `card`: the wordmark "VANTLE" (bold monospaced
// 16, kerning 0.8, "VAN" in `text` and "TLE" in `accentInk`) and the title "THE HOUR AUDIT"
// (regular 11, kerning 1.4, `muted`) 14 apart on one baseline, and at the trailing edge
// "Question N of 4" (monospaced 13, `muted`), or a blank of the same height past the
// questions; 24 sideways and 15 above and below. Under it a 4-high progress bar (`accent` over
// `elevated`, a quarter per question answered, full past the questions; a change eases in and
// out over 0.3 s) and a 1-high rule in `border`.
class AuditHeader final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal progress READ progress WRITE setProgress)
public:
    static constexpr int progressMilliseconds = 300;

    explicit AuditHeader(std::optional<int> question = 1, QWidget *parent = nullptr);

    void setQuestion(std::optional<int> question);
    std::optional<int> question() const { return m_question; }
    QString counterText() const;
    // The filled share of the bar as drawn now, and where it is heading.
    qreal progress() const { return m_progress; }
    void setProgress(qreal progress);
    qreal targetProgress() const;
    bool isAnimating() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int rowHeight() const;

    std::optional<int> m_question;
    qreal m_progress = 0;
    QVariantAnimation *m_animation;
};
