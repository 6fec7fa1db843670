#pragma once

#include <QPointer>
#include <QWidget>

class LedgerModel;
class QLabel;
class QVBoxLayout;

// The categories the person tracks, each with its colour, kind and weekly budget, and the
// week's total budget above them. Follows the ledger: rebuilt whenever its categories change.
class CategoryListView final : public QWidget {
    Q_OBJECT
public:
    explicit CategoryListView(LedgerModel *ledger, QWidget *parent = nullptr);
    ~CategoryListView() override;

    // One row per visible category: (name, kind, budget) as shown.
    struct ShownRow {
        QString name;
        QString kind;
        QString budget;
        bool operator==(const ShownRow &) const = default;
    };
    QList<ShownRow> shownRows() const;
    QString summaryText() const;

private:
    void rebuild();

    QPointer<LedgerModel> m_ledger;
    QLabel *m_summary;
    QWidget *m_rows;
    QVBoxLayout *m_rowsLayout;
};
