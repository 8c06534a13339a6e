#pragma once

// The device that misbehaves on purpose (support/hostile_answers.h) on real
// loopback sockets, for what needs a real kernel: a close in mid-frame, a
// reset, a flood. It listens on 127.0.0.1 only, at a port the system
// picks, and stops when the object goes (or by itself after a minute,
// should a test never end).

#include <QByteArray>
#include <QTcpServer>
#include <QTimer>

#include <cstdint>
#include <list>
#include <optional>
#include <vector>

#include "support/hostile_answers.h"

class QTcpSocket;

namespace rtupoll::testing {

class ScriptedPeer : public ScriptedRequests {
 public:
  ScriptedPeer();
  ~ScriptedPeer() override;
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  std::uint16_t port() const { return server_.serverPort(); }

  const std::vector<ReceivedRead>& requests() const override { return requests_; }
  bool doneSending() const override;

 private:
  struct Client {
    QTcpSocket* socket = nullptr;  // owned by the server
    QByteArray received;
    std::optional<Bytes> held;  // a late answer waiting for the next request
    int pending_writes = 0;     // bytes still to go one at a time
  };

  void accept();
  void receive(Client& client);
  void answer(Client& client, const ReceivedRead& request);
  void sendByteByByte(Client& client, const QByteArray& bytes, int from);

  QTcpServer server_;
  QTimer lifetime_;
  std::list<Client> clients_;
  std::vector<ReceivedRead> requests_;
};

}  // namespace rtupoll::testing
