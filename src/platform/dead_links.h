#pragma once

// A device that dies silently (power or cable lost: no FIN, no RST) must not
// count as connected for a quarter of an hour, as the system's defaults
// would have it. endDeadLinksSoon gives a connected device socket the
// limits below, with the calls of its system (dead_links_posix.cc,
// dead_links_windows.cc); a system that lacks one keeps its default there,
// which only finds a dead link later.

#include <QTcpSocket>

namespace rtupoll {

// How long a link may stop carrying packets before the system ends it.
// The window polls each device once a second, so a dead link always has a
// request waiting for its acknowledgement within a second of its death:
// after kUserTimeoutMs of that the system gives up, and the next read finds
// the link down ("Not connected", "???", and the reload sequence takes
// over), all within 15 s of the death. 10 s is 25 round trips of a slow
// 400 ms radio or cellular link.
inline constexpr int kUserTimeoutMs = 10000;
// A connected device that no read names sends nothing: keepalive probes
// after kKeepIdleS of silence, kKeepIntervalS apart, find it dead too; the
// user timeout above then ends the link at the first probe after 10 s of
// silence, 11 s in all. A live device answers the first probe at once.
inline constexpr int kKeepIdleS = 5;
inline constexpr int kKeepIntervalS = 2;
inline constexpr int kKeepProbes = 3;

// Keepalive and the limits above on a connected socket. Best effort.
void endDeadLinksSoon(QTcpSocket& socket);

}  // namespace rtupoll
