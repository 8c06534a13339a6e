#include "view/desktop_identity.h"

#include <QDirIterator>
#include <QGuiApplication>

namespace rtupoll {

QIcon programIcon() {
  QIcon icon;
  // One file a size, as the icon theme lays them out: hicolor/16x16/apps/...
  QDirIterator sizes(":/icons/hicolor", {"rtupoll.png"}, QDir::Files, QDirIterator::Subdirectories);
  while (sizes.hasNext()) icon.addFile(sizes.next());
  return icon;
}

void presentToDesktop() {
  QGuiApplication::setWindowIcon(programIcon());
  QGuiApplication::setDesktopFileName(kDesktopEntryId);
}

}  // namespace rtupoll
