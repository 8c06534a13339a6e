#pragma once

// A device link over QTcpSocket. Qt only tells "unconnected" after a
// failure or a close by the peer; the socket remembers which of the two
// happened, so the link keeps reporting it until it is aborted or a new
// attempt starts.
//
// Field links (cellular, VPN, radio) die without a word: the driver asks
// the kernel to end a link that stops carrying packets (keepalive and a
// user timeout), repeats an unanswered handshake every second at first,
// reconnects from the local port of a link that died that way, and keeps
// at most one host-name lookup of its own in flight.

#include <QHostAddress>
#include <QHostInfo>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

#include "env/env.h"

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

  // Both ends of a TCP connection.
  struct Ends {
    QHostAddress local;
    quint16 local_port = 0;
    QHostAddress peer;
    quint16 peer_port = 0;
  };

  // An attempt whose host name is still being looked up.
  struct Attempt {
    QString host;
    quint16 port = 0;
  };

  // An attempt to one address, repeated while its handshake gets no answer.
  struct Handshake {
    Attempt attempt;
    QHostAddress address;
    int tries = 0;
  };

  void lookUp(const QString& name);
  void onLookedUp(const QString& name, const QHostInfo& info);
  void connectResolved(const Attempt& attempt, const QList<QHostAddress>& addresses);
  void startHandshake();
  void retryHandshake();
  void onConnected();
  void onError(QAbstractSocket::SocketError error);

  std::function<void()> on_data_arrival_;
  Ending ending_ = Ending::kNone;
  std::optional<Attempt> resolving_;
  // The name of this socket's lookup in flight. Its answer is awaited even
  // after an abort, so that repeated attempts never stack up lookups.
  std::optional<QString> lookup_;
  // The live connection, and the one that died without its peer knowing.
  std::optional<Ends> live_;
  std::optional<Ends> died_;
  std::optional<Handshake> handshake_;
  QTimer handshake_timer_;
  // Last, so that it goes first and its last signals still find the rest.
  QTcpSocket socket_;
};

}  // namespace rtupoll
