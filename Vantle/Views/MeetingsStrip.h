#pragma once

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>

class MeetingsStripModel;
class QLabel;
class QListView;

// Today's remaining meetings beside the ledger: the one under way or next first, each with
// its time, title and calendar colour; or a clear line when there is nothing to list
// (no meetings, none left, no calendar). It shows what it is given and keeps no clock.
class MeetingsStrip final : public QWidget {
    Q_OBJECT
public:
    enum class Availability {
        pending,    // the calendar has not answered yet
        available,  // events can be read
        noCalendar, // no calendar store on this computer
        denied,     // the store refuses to hand out events
    };
    struct Meeting {
        QString title;
        QDateTime start;
        QDateTime end;
        QColor color;
        bool allDay = false;
    };

    explicit MeetingsStrip(QWidget *parent = nullptr);
    ~MeetingsStrip() override;

    // `remaining`: today's meetings not over at `now`, in the order to show them; `anyToday`:
    // whether the day held any meeting at all; [dayStart, dayEnd): today.
    void setMeetings(Availability availability, const QList<Meeting> &remaining, bool anyToday, const QDateTime &now,
                     const QDateTime &dayStart, const QDateTime &dayEnd);

    // The line shown in place of the list; empty while the list shows.
    QString statusText() const;
    const MeetingsStripModel &model() const { return *m_model; }

private:
    MeetingsStripModel *m_model;
    QLabel *m_status;
    QListView *m_list;
};
