#include "VantleKit/CategoryKind.h"

QString toRaw(CategoryKind kind)
{
    switch (kind) {
    case CategoryKind::committed:
        return QStringLiteral("committed");
    case CategoryKind::yours:
        return QStringLiteral("yours");
    case CategoryKind::sleep:
        return QStringLiteral("sleep");
    case CategoryKind::unaccounted:
        return QStringLiteral("unaccounted");
    }
    return QString();
}

template <>
std::optional<CategoryKind> fromRaw<CategoryKind>(const QString &raw)
{
    for (const CategoryKind kind :
         {CategoryKind::committed, CategoryKind::yours, CategoryKind::sleep, CategoryKind::unaccounted}) {
        if (toRaw(kind) == raw)
            return kind;
    }
    return std::nullopt;
}
