#include "OrvalenAccount/SecureRandom.h"

#include "OrvalenAccount/Base64URL.h"
#include "OrvalenAccount/OrvalenError.h"

#include <QByteArray>

#include <cerrno>

#include <sys/random.h>

namespace SecureRandom {

bool systemSource(unsigned char *buffer, std::size_t length)
{
    // The kernel's generator; it waits only until it has been seeded once after boot.
    while (length > 0) {
        const ssize_t got = ::getrandom(buffer, length, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        buffer += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

void fill(unsigned char *buffer, std::size_t length, const Source &source)
{
    if (!source || !source(buffer, length))
        throw OrvalenError::dpopUnavailable(QStringLiteral("random_unavailable"));
}

QString urlSafeString(int byteCount)
{
    return urlSafeString(byteCount, &systemSource);
}

QString urlSafeString(int byteCount, const Source &source)
{
    if (byteCount < 0)
        throw OrvalenError::dpopUnavailable(QStringLiteral("random_negative_count"));
    QByteArray buffer(byteCount, '\0');
    fill(reinterpret_cast<unsigned char *>(buffer.data()), static_cast<std::size_t>(buffer.size()), source);
    return Base64URL::encode(buffer);
}

} // namespace SecureRandom
