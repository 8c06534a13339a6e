#include "qt/support/bad_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <random>

namespace rtupoll::testing {

QByteArray garbage(qsizetype size) {
  std::mt19937 random(20240607);
  QByteArray bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
    if (c == '[') c = ']';
  }
  return bytes;
}

QByteArray iniLines(const QList<QByteArray>& lines) {
  QByteArray text;
  for (const QByteArray& line : lines) text += line + "\r\n";
  return text;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << path.toStdString();
}

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace rtupoll::testing
