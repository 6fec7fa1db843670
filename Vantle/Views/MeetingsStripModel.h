#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QString>

// The rows of the meetings strip, as shown: a time line ("Next · 2:00 PM – 2:30 PM"), the
// title and the calendar's colour. A list view over it draws only the rows in sight, so a
// day of thousands of events costs no more to show than a day of ten.
class MeetingsStripModel final : public QAbstractListModel {
    Q_OBJECT
public:
    struct Row {
        QString time;
        QString title;
        QColor color; // invalid: the calendar has none
        bool operator==(const Row &) const = default;
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Replaces the rows; nothing happens when they are the same.
    void setRows(QList<Row> rows);
    const QList<Row> &rows() const { return m_rows; }

private:
    QPixmap dot(const QColor &color) const;

    QList<Row> m_rows;
    mutable QHash<QRgb, QPixmap> m_dots;
};
