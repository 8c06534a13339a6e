#pragma once

// A device link over QTcpSocket. Qt only tells "unconnected" after a
// failure or a close by the peer; the socket remembers which of the two
// happened, so the link keeps reporting it until it is aborted or a new
// attempt starts.

#include <QTcpSocket>

#include "runtime/env.h"

namespace rtupoll {

class QtSocket : public SocketDriver {
 public:
  explicit QtSocket(std::function<void()> on_data_arrival);

  void connectToHost(const std::string& host, std::uint16_t port) override;
  void abort() override;
  LinkState state() const override;
  bool write(std::span<const std::uint8_t> bytes) override;
  std::size_t bytesAvailable() const override;
  std::size_t read(std::span<std::uint8_t> out) override;

 private:
  enum class Ending { kNone, kPeerClosed, kFailed };

  std::function<void()> on_data_arrival_;
  Ending ending_ = Ending::kNone;
  // Last, so that it goes first and its last signals still find the rest.
  QTcpSocket socket_;
};

}  // namespace rtupoll
