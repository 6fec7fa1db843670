#include "Platform/AppModule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMutex>

#ifndef VANTLE_MODULE_DIR_FROM_BIN
#define VANTLE_MODULE_DIR_FROM_BIN "../lib/vantle"
#endif

namespace {

QMutex directoriesMutex;
QStringList overriddenDirectories;

QStringList defaultDirectories()
{
    // Not the application object's idea of its folder: that is filled in, without a lock,
    // while the object is built, and the executable loads its module meanwhile.
    const QDir bin(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
    QStringList out;
    for (const QString &relative : {QStringLiteral(VANTLE_MODULE_DIR_FROM_BIN), QStringLiteral("../lib/vantle")}) {
        const QString path = QDir::cleanPath(bin.filePath(relative));
        if (!out.contains(path))
            out.append(path);
    }
    return out;
}

} // namespace

QStringList AppModule::directories()
{
    {
        QMutexLocker lock(&directoriesMutex);
        if (!overriddenDirectories.isEmpty())
            return overriddenDirectories;
    }
    return defaultDirectories();
}

void AppModule::setDirectories(QStringList directories)
{
    QMutexLocker lock(&directoriesMutex);
    overriddenDirectories = std::move(directories);
}

QFunctionPointer AppModule::resolve(const QString &name, const char *symbol, QString *error)
{
    return resolve(name, symbol, directories(), error);
}

QFunctionPointer AppModule::resolve(const QString &name, const char *symbol, const QStringList &folders, QString *error)
{
    const QString file = name + QStringLiteral(".so");
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(file);
        if (!QFileInfo(path).isFile())
            continue;
        // Never unloaded: objects the module made may outlive any one caller.
        QLibrary library(path);
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library.load()) {
            if (error)
                *error = library.errorString();
            return nullptr;
        }
        QFunctionPointer function = library.resolve(symbol);
        if (!function && error)
            *error = QStringLiteral("%1 has no entry %2").arg(path, QString::fromLatin1(symbol));
        return function;
    }
    if (error)
        *error = QStringLiteral("%1 is in none of: %2").arg(file, folders.join(QStringLiteral(", ")));
    return nullptr;
}
