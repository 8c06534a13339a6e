#pragma once

#include <cstdint>

namespace rtupoll {
class OptionIP;

// The data-arrival handler of the sockets: gathers the bytes of
// `socketIndex`, takes them one Modbus TCP frame at a time and handles the
// answer to the outstanding request.
void handleReply(OptionIP& w, int socketIndex, std::int32_t bytesWaiting);
}  // namespace rtupoll
