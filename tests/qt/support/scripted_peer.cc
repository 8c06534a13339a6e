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

using modbus::kExceptionFlag;
using modbus::kReadHoldingRegisters;
using modbus::kUnitId;
constexpr std::uint8_t kReadInputRegisters = 4;
constexpr std::uint8_t kIllegalFunction = 1;
constexpr int kMaxLength = modbus::kMaxLength;
constexpr int kPrefixSize = modbus::kLengthPrefix;
constexpr std::uint16_t kForeignOffset = 0x1234;
// Enough that handling it in time out of proportion to its size would
// stall the window for many seconds.
constexpr int kFloodBytes = 16 << 20;

void appendWord(QByteArray& bytes, std::uint16_t value) {
  bytes.append(static_cast<char>(value >> 8));
  bytes.append(static_cast<char>(value & 0xFF));
}

std::uint16_t wordAt(const QByteArray& bytes, int at) {
  const auto high = static_cast<std::uint8_t>(bytes[at]);
  const auto low = static_cast<std::uint8_t>(bytes[at + 1]);
  return static_cast<std::uint16_t>((high << 8) | low);
}

// A whole Modbus TCP frame around the PDU; the length field says what
// follows unless a fault wants it to lie.
QByteArray frame(std::uint16_t transaction_id, const QByteArray& pdu, std::uint16_t protocol = 0,
                 std::optional<std::uint16_t> length = std::nullopt) {
  QByteArray bytes;
  appendWord(bytes, transaction_id);
  appendWord(bytes, protocol);
  appendWord(bytes, length.value_or(static_cast<std::uint16_t>(1 + pdu.size())));
  bytes.append(static_cast<char>(kUnitId));
  return bytes + pdu;
}

// Function code, byte count and the register values, high byte first.
QByteArray registersPdu(std::uint8_t function, const std::vector<std::uint16_t>& values) {
  QByteArray pdu;
  pdu.append(static_cast<char>(function));
  pdu.append(static_cast<char>(2 * values.size()));
  for (const std::uint16_t value : values) appendWord(pdu, value);
  return pdu;
}

// An answer of function 3 with the values and a byte count that fits them,
// padded with more bytes up to a PDU of `size` bytes.
QByteArray paddedPdu(const std::vector<std::uint16_t>& values, int size) {
  QByteArray pdu = registersPdu(kReadHoldingRegisters, values);
  return pdu + QByteArray(size - pdu.size(), '\x5A');
}

QByteArray twoBytes(std::uint8_t first, std::uint8_t second) {
  QByteArray pdu;
  pdu.append(static_cast<char>(first));
  pdu.append(static_cast<char>(second));
  return pdu;
}

std::vector<std::uint16_t> mapValues(std::uint16_t address, int count) {
  std::vector<std::uint16_t> values;
  for (int k = 0; k < count; ++k) values.push_back(ScriptedPeer::valueAt(static_cast<std::uint16_t>(address + k)));
  return values;
}

// The map's values with the top bit flipped: since the map steps by an odd
// number, no register below 32768 holds such a value at another address.
std::vector<std::uint16_t> wrongValues(std::uint16_t address, int count) {
  std::vector<std::uint16_t> values = mapValues(address, count);
  for (std::uint16_t& value : values) value ^= 0x8000;
  return values;
}

std::optional<PeerFault> faultAt(std::uint16_t address) {
  if (address >= kFaultBase && address <= faultAddress(PeerFault::kReset))
    return static_cast<PeerFault>(address - kFaultBase);
  return std::nullopt;
}

std::optional<std::uint8_t> exceptionAt(std::uint16_t address) {
  if (address >= kExceptionBase && address <= exceptionAddress(0xFF))
    return static_cast<std::uint8_t>(address - kExceptionBase);
  return std::nullopt;
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
    if (request.size() < 12 || static_cast<std::uint8_t>(request[7]) != kReadHoldingRegisters) continue;
    const ReceivedRead read{wordAt(request, 0), wordAt(request, 8), wordAt(request, 10)};
    requests_.push_back(read);
    answer(client, read);
  }
}

void ScriptedPeer::answer(Client& client, const ReceivedRead& request) {
  const std::uint16_t tid = request.transaction_id;
  const std::uint16_t address = request.address;
  const int count = request.quantity;
  const QByteArray good = frame(tid, registersPdu(kReadHoldingRegisters, mapValues(address, count)));
  const QByteArray wrong = registersPdu(kReadHoldingRegisters, wrongValues(address, count));

  // A late answer goes out just before the answer to the request that
  // overtook it, in the same write.
  QByteArray out = client.held.value_or(QByteArray());
  client.held.reset();

  if (const auto code = exceptionAt(address)) {
    send(client.socket, out + frame(tid, twoBytes(kReadHoldingRegisters | kExceptionFlag, *code)));
    return;
  }
  switch (faultAt(address).value_or(PeerFault::kNone)) {
    case PeerFault::kNone: out += good; break;
    case PeerFault::kByteByByte:
      send(client.socket, out);
      sendByteByByte(client, good, 0);
      return;
    case PeerFault::kWithNextCopy: out += good + frame(static_cast<std::uint16_t>(tid + 1), wrong); break;
    case PeerFault::kWithForeignAnswer:
      out += good + frame(static_cast<std::uint16_t>(tid + kForeignOffset), wrong);
      break;
    case PeerFault::kFlood: {
      const QByteArray one = frame(static_cast<std::uint16_t>(tid + kForeignOffset), wrong);
      out += one.repeated(kFloodBytes / one.size()) + good;
      break;
    }
    case PeerFault::kJunkBehind: out += good + QByteArray("\x00\x07\x00\x00\x00", 5); break;
    case PeerFault::kLength254: out += frame(tid, paddedPdu(wrongValues(address, count), kMaxLength - 1)); break;
    case PeerFault::kBeyond254: out += frame(tid, paddedPdu(wrongValues(address, count), kMaxLength)); break;
    case PeerFault::kWrongFunction:
      out += frame(tid, registersPdu(kReadInputRegisters, wrongValues(address, count)));
      break;
    case PeerFault::kWrongByteCount:
      out += frame(tid, registersPdu(kReadHoldingRegisters, wrongValues(address, count > 0 ? count - 1 : 0)));
      break;
    case PeerFault::kForeignId: out += frame(static_cast<std::uint16_t>(tid + kForeignOffset), wrong); break;
    case PeerFault::kProtocolId: out += frame(tid, wrong, 1); break;
    case PeerFault::kLengthZero: out += frame(tid, wrong, 0, 0); break;
    case PeerFault::kLength2000: out += frame(tid, wrong, 0, 2000); break;
    case PeerFault::kLate: client.held = good; break;
    case PeerFault::kHeaderThenSilence: out += good.left(7); break;
    case PeerFault::kSilent: break;
    case PeerFault::kForeignException:
      out += frame(tid, twoBytes(kReadInputRegisters | kExceptionFlag, kIllegalFunction));
      break;
    case PeerFault::kCloseMidFrame: {
      const QByteArray half = frame(tid, wrong);
      send(client.socket, out + half.left(half.size() / 2));
      client.socket->disconnectFromHost();
      return;
    }
    case PeerFault::kReset:
      send(client.socket, out);
      reset(client.socket);
      return;
  }
  send(client.socket, out);
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
