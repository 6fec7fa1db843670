#pragma once

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>

namespace TestSupport {

// A network access manager that counts, on the client's side, the requests it was asked to
// send and the replies that have finished. A count taken at the service only moves when a
// request arrives there, which may be any time after it was sent: "nothing was sent after
// this point" and "every answer is in" are asked here.
class CountingNetwork final : public QNetworkAccessManager {
public:
    CountingNetwork()
    {
        connect(this, &QNetworkAccessManager::finished, this, [this] { ++m_finished; });
    }
    int started() const { return m_started; }
    int finished() const { return m_finished; }
    bool idle() const { return m_started == m_finished; }
    // The most requests that were out at one time.
    int mostAtOnce() const { return m_mostAtOnce; }

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override
    {
        ++m_started;
        m_mostAtOnce = std::max(m_mostAtOnce, m_started - m_finished);
        return QNetworkAccessManager::createRequest(operation, request, outgoingData);
    }

private:
    int m_started = 0;
    int m_finished = 0;
    int m_mostAtOnce = 0;
};

} // namespace TestSupport
