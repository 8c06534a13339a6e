#include "qt/support/scripted_peer.h"

#include <QTcpSocket>

#include <sys/socket.h>

#include <chrono>
#include <stdexcept>

#include "polling/modbus_tcp.h"

namespace rtupoll::testing {

namespace {

using namespace std::chrono_literals;

// Bounds the peer's life should a test hang; every test ends long before.
constexpr auto kLifetime = 60s;
// Far enough apart that each byte leaves in a segment of its own.
constexpr auto kByteGap = 3ms;

constexpr int kMaxLength = modbus::kMaxLength;
constexpr int kPrefixSize = modbus::kLengthPrefix;

std::uint16_t wordAt(const QByteArray& bytes, int at) {
  const auto high = static_cast<std::uint8_t>(bytes[at]);
  const auto low = static_cast<std::uint8_t>(bytes[at + 1]);
  return static_cast<std::uint16_t>((high << 8) | low);
}

QByteArray qbytes(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

void send(QTcpSocket* socket, const QByteArray& bytes) {
  if (bytes.isEmpty()) return;
  socket->write(bytes);
  socket->flush();
}

// Ends the connection with a reset rather than an orderly close: with a
// linger time of zero the kernel sends RST when the socket is closed.
void reset(QTcpSocket* socket) {
  const linger hard{1, 0};
  setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  socket->abort();
}

}  // namespace

ScriptedPeer::ScriptedPeer() {
  if (!server_.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("the scripted peer cannot listen");
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
  lifetime_.setSingleShot(true);
  QObject::connect(&lifetime_, &QTimer::timeout, &server_, [this] {
    for (Client& client : clients_) client.socket->abort();
    server_.close();
  });
  lifetime_.start(kLifetime);
}

ScriptedPeer::~ScriptedPeer() {
  for (Client& client : clients_) {
    client.socket->disconnect();
    client.socket->abort();
  }
  server_.close();
}

bool ScriptedPeer::doneSending() const {
  for (const Client& client : clients_) {
    if (client.pending_writes > 0) return false;
    if (client.socket->state() == QAbstractSocket::ConnectedState && client.socket->bytesToWrite() > 0) return false;
  }
  return true;
}

void ScriptedPeer::accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    // Each write must leave as it was made, not gathered with the next.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Client& client = clients_.emplace_back();
    client.socket = socket;
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, &client] { receive(client); });
  }
}

void ScriptedPeer::receive(Client& client) {
  client.received += client.socket->readAll();
  while (client.received.size() >= kPrefixSize && client.socket->state() == QAbstractSocket::ConnectedState) {
    const int length = wordAt(client.received, 4);
    if (wordAt(client.received, 2) != 0 || length < 2 || length > kMaxLength) {
      client.received.clear();  // not from a Modbus client; nothing to answer
      return;
    }
    if (client.received.size() < kPrefixSize + length) return;
    const QByteArray request = client.received.left(kPrefixSize + length);
    client.received.remove(0, kPrefixSize + length);
    if (request.size() < 12 || static_cast<std::uint8_t>(request[7]) != modbus::kReadHoldingRegisters) continue;
    const ReceivedRead read{wordAt(request, 0), wordAt(request, 8), wordAt(request, 10)};
    requests_.push_back(read);
    answer(client, read);
  }
}

void ScriptedPeer::answer(Client& client, const ReceivedRead& request) {
  const ScriptedReply reply = scriptedReply(request, client.held);
  send(client.socket, qbytes(reply.at_once));
  if (!reply.one_byte_a_write.empty()) sendByteByByte(client, qbytes(reply.one_byte_a_write), 0);
  switch (reply.end) {
    case ScriptedReply::End::kStayOpen: break;
    case ScriptedReply::End::kClose: client.socket->disconnectFromHost(); break;
    case ScriptedReply::End::kReset: reset(client.socket); break;
  }
}

void ScriptedPeer::sendByteByByte(Client& client, const QByteArray& bytes, int from) {
  client.pending_writes = static_cast<int>(bytes.size()) - from;
  if (from >= bytes.size() || client.socket->state() != QAbstractSocket::ConnectedState) {
    client.pending_writes = 0;
    return;
  }
  send(client.socket, bytes.mid(from, 1));
  QTimer::singleShot(kByteGap, client.socket,
                     [this, &client, bytes, from] { sendByteByByte(client, bytes, from + 1); });
}

}  // namespace rtupoll::testing
