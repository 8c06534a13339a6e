#pragma once

// Files of the operator's machine for the bad-files tests, in-process and
// of the built program: garbage, INI lines, and the plain file verbs.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace rtupoll::testing {

// Bytes of every value, line breaks and zero bytes among them, but no '['
// so that no section can start in them by chance.
QByteArray garbage(qsizetype size);
// The lines, each ended with CR LF.
QByteArray iniLines(const QList<QByteArray>& lines);

// Empty when the file cannot be read.
QByteArray readFile(const QString& path);
// A test failure when the file cannot be written.
void writeFile(const QString& path, const QByteArray& bytes);
// Every entry of the folder, hidden ones included, by name.
QStringList entries(const QString& folder);

}  // namespace rtupoll::testing
