#include "OrvalenAccount/SecureRandom.h"

#include "OrvalenAccount/Base64URL.h"
#include "OrvalenAccount/OrvalenError.h"

#include <openssl/rand.h>

#include <QByteArray>

#include <limits>

namespace SecureRandom {

bool systemSource(unsigned char *buffer, std::size_t length)
{
    if (length == 0)
        return true;
    if (length > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return false;
    return RAND_bytes(buffer, static_cast<int>(length)) == 1;
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
