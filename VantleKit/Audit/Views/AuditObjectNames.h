#pragma once

#include <QString>
#include <QStringView>

class QObject;

// Object names of the Hour Audit's widgets, which tests and the screens use to find them.
//
//   audit.<screen>.<control>
//
//   <screen>   flow, sleep, work, upkeep, family, dash, yours (the screens of the flow;
//              "flow" for the header and the shell around them)
//   <control>  the control's role on that screen in lowerCamelCase: next, back, wfh, pencil,
//              sleepChips, wakeChips, name, add, ...
//
// Components name their own parts after their object name, and rename them when it changes:
//
//   AuditChips      <name>.chip.<i>   the chip of the i-th option, from 0
//   AuditStepper    <name>.dec, <name>.inc, <name>.value
//   AuditTextInput  <name>.field      the line edit inside
//   AuditChipGroup  <name>.label
namespace AuditObjectNames {

QString name(QStringView screen, QStringView control);
// `owner`'s object name, a dot, `part`; empty while the owner has no name.
QString part(const QObject *owner, QStringView part);

} // namespace AuditObjectNames
