#include "Vantle/Views/MeetingsStripModel.h"

#include "Vantle/Utilities/Theme.h"

#include <QPainter>

int MeetingsStripModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant MeetingsStripModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QString(row.time + QLatin1Char('\n') + row.title);
    case Qt::ToolTipRole:
        return row.title;
    case Qt::DecorationRole:
        return dot(row.color.isValid() ? row.color : Theme::muted);
    default:
        return {};
    }
}

void MeetingsStripModel::setRows(QList<Row> rows)
{
    if (rows == m_rows)
        return;
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QPixmap MeetingsStripModel::dot(const QColor &color) const
{
    const QRgb key = color.rgba();
    if (const auto found = m_dots.constFind(key); found != m_dots.constEnd())
        return found.value();
    // Drawn at twice the size so it stays round on a high-density screen.
    QPixmap pixmap(20, 20);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(1, 1, 8, 8));
    painter.end();
    m_dots.insert(key, pixmap);
    return pixmap;
}
