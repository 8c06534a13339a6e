#pragma once

// How the desktop knows the program: the icon of its window, and the
// desktop entry it was started from. On Wayland the compositor matches a
// window to its entry, for the name and icon in the task bar, by that id;
// the entry is packaging/desktop/org.rtupoll.rtupoll.desktop.

#include <QIcon>

namespace rtupoll {

inline constexpr char kDesktopEntryId[] = "org.rtupoll.rtupoll";

// The icon in every size the program carries, drawn from
// packaging/desktop/rtupoll.svg at build time.
QIcon programIcon();

// Gives the application its icon and its desktop entry id.
void presentToDesktop();

}  // namespace rtupoll
