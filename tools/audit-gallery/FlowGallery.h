#pragma once

class QDir;
class QTextStream;

// Renders every screen of the Hour Audit's flow, in the application's host, in each state
// worth looking at, to <dir>/flow-<screen>-<state>.png.
void shootFlows(const QDir &dir, QTextStream &out);
