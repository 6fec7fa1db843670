#pragma once

#include <QString>
#include <QStringList>

// The parts of the application that pull in large libraries only some people need (the
// desktop's calendar store, the zip writer of the diagnostic report) are shared libraries
// of their own, loaded on first use: starting the application never waits for what they
// pull in, and a process that never uses them never maps them.
//
// A module is "<name>.so" in the application's module folder: lib/vantle beside the
// executable's folder (installed, and in the build tree), or the installed library folder
// when that lies elsewhere. A module, once loaded, stays loaded for the life of the process.
namespace AppModule {

// The folders searched, in order. The default ones follow from the executable's own path
// alone, never from the application object: any thread may ask, also while that object is
// being built.
QStringList directories();
// Replaces the folders searched (tests); an empty list restores the default ones.
void setDirectories(QStringList directories);

// The address of `symbol` (an extern "C" function) in module `name`, loading the module
// on first use. Null when the module cannot be found or loaded or lacks the symbol; the
// reason is then in `error`. Every symbol of the module is bound at load, so a module
// built against other libraries than those installed fails here, not when called. Any
// thread, also before the application object exists.
QFunctionPointer resolve(const QString &name, const char *symbol, QString *error = nullptr);
// The same, searching `folders` (as directories() gave them) instead.
QFunctionPointer resolve(const QString &name, const char *symbol, const QStringList &folders, QString *error = nullptr);

} // namespace AppModule
