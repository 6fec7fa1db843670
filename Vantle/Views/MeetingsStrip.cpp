#include "Vantle/Views/MeetingsStrip.h"

#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/MainViewText.h"
#include "Vantle/Views/MeetingsStripModel.h"

#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

namespace {

QString statusFor(MeetingsStrip::Availability availability, bool anyLeft, bool anyToday)
{
    switch (availability) {
    case MeetingsStrip::Availability::pending:
        return MainViewText::calendarPending;
    case MeetingsStrip::Availability::noCalendar:
        return MainViewText::noCalendar;
    case MeetingsStrip::Availability::denied:
        return MainViewText::calendarDenied;
    case MeetingsStrip::Availability::available:
        break;
    }
    if (anyLeft)
        return QString();
    return anyToday ? MainViewText::noMoreMeetingsToday : MainViewText::noMeetingsToday;
}

} // namespace

MeetingsStrip::MeetingsStrip(QWidget *parent)
    : QWidget(parent), m_model(new MeetingsStripModel(this))
{
    setObjectName(QStringLiteral("meetingsStrip"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#meetingsStrip { background: %1; border: 1px solid %2; border-radius: 12px; }")
                      .arg(Theme::card.name(), Theme::border.name()));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);

    auto *title = new QLabel(MainViewText::meetingsTitle, this);
    QFont titleFont = title->font();
    titleFont.setPixelSize(13);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, Theme::muted);
    title->setPalette(titlePalette);
    layout->addWidget(title);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("meetingsStatus"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    QFont statusFont = m_status->font();
    statusFont.setPixelSize(13);
    m_status->setFont(statusFont);
    QPalette statusPalette = m_status->palette();
    statusPalette.setColor(QPalette::WindowText, Theme::text);
    m_status->setPalette(statusPalette);
    layout->addWidget(m_status);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("meetingsList"));
    m_list->setModel(m_model);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    m_list->setSpacing(4);
    m_list->setIconSize(QSize(10, 10));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setStyleSheet(QStringLiteral("QListView { background: transparent; color: %1; font-size: 13px; }"
                                         "QListView::item { padding: 4px 2px; }")
                              .arg(Theme::text.name()));
    layout->addWidget(m_list, 1);
    layout->addStretch(0);

    setMeetings(Availability::pending, {}, false, QDateTime(), QDateTime(), QDateTime());
}

MeetingsStrip::~MeetingsStrip() = default;

void MeetingsStrip::setMeetings(Availability availability, const QList<Meeting> &remaining, bool anyToday,
                                const QDateTime &now, const QDateTime &dayStart, const QDateTime &dayEnd)
{
    QList<MeetingsStripModel::Row> rows;
    if (availability == Availability::available) {
        rows.reserve(remaining.size());
        bool nextMarked = false;
        for (const Meeting &meeting : remaining) {
            QString time = MainViewText::timeRange(meeting.start, meeting.end, meeting.allDay, dayStart, dayEnd);
            if (!meeting.allDay && meeting.start <= now) {
                time = MainViewText::now + QStringLiteral(" · ") + time;
            } else if (!meeting.allDay && !nextMarked) {
                time = MainViewText::next + QStringLiteral(" · ") + time;
                nextMarked = true;
            }
            rows.append({time, MainViewText::eventTitle(meeting.title), meeting.color});
        }
    }
    m_model->setRows(std::move(rows));
    const QString status = statusFor(availability, !m_model->rows().isEmpty(), anyToday || !remaining.isEmpty());
    m_status->setText(status);
    m_status->setVisible(!status.isEmpty());
    m_list->setVisible(status.isEmpty());
}

QString MeetingsStrip::statusText() const
{
    return m_status->text();
}
