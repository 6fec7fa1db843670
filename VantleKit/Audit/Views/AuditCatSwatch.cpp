#include "AuditCatSwatch.h"

#include "AuditPalette.h"

QColor AuditCatSwatch::work()
{
    static const QColor color = vantHex(0x7C9EF5);
    return color;
}

QColor AuditCatSwatch::upkeep()
{
    static const QColor color = vantHex(0xC58BF2);
    return color;
}

QColor AuditCatSwatch::people()
{
    static const QColor color = vantHex(0x6FD1A6);
    return color;
}

QColor AuditCatSwatch::activity()
{
    static const QColor color = vantHex(0xF58BA0);
    return color;
}
