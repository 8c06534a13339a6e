#pragma once

// A Modbus TCP device that misbehaves on purpose, for the hostile-peer
// tests. Like libmodbus's unit-test server it answers reads of holding
// registers from a register map, and a read whose starting address is one
// of the special addresses below triggers one fault instead. It listens on
// 127.0.0.1 only, at a port the system picks, and stops when the object
// goes (or by itself after a minute, should a test never end).

#include <QByteArray>
#include <QTcpServer>
#include <QTimer>

#include <cstdint>
#include <list>
#include <optional>
#include <vector>

class QTcpSocket;

namespace rtupoll::testing {

enum class PeerFault : std::uint16_t {
  kNone,
  kByteByByte,          // the answer one byte per write, a few ms apart
  kWithNextCopy,        // the answer, and in the same write a copy for the next transaction id
  kWithForeignAnswer,   // the answer, and in the same write an answer with a foreign id
  kFlood,               // the answer behind 16 MiB of answers with a foreign id, in one write
  kJunkBehind,          // the answer, and behind it the start of a header that never ends
  kLength254,           // an answer of the right byte count, padded to a whole frame of the largest length (260 bytes)
  kBeyond254,           // the same padded one byte further, past the largest length
  kWrongFunction,       // function 4 instead of 3
  kWrongByteCount,      // one register fewer than asked for, consistently framed
  kForeignId,           // a well-formed answer with another transaction id
  kProtocolId,          // protocol identifier 1
  kLengthZero,          // length field 0
  kLength2000,          // length field 2000
  kLate,                // held back until the next request comes, then sent before its answer
  kHeaderThenSilence,   // the 7-byte header, then nothing
  kSilent,              // no answer at all
  kForeignException,    // an exception of function 4 (0x84, code 1)
  kCloseMidFrame,       // half an answer, then the connection closed in order
  kReset,               // the connection reset (RST) instead of an answer
};

// Starting addresses (on the wire, counted from 0) that trigger a fault:
// kFaultBase + the fault's number, and kExceptionBase + an exception code
// for an exception answer to function 3 with that code.
inline constexpr std::uint16_t kFaultBase = 5000;
inline constexpr std::uint16_t kExceptionBase = 6000;

inline std::uint16_t faultAddress(PeerFault fault) {
  return static_cast<std::uint16_t>(kFaultBase + static_cast<std::uint16_t>(fault));
}
inline std::uint16_t exceptionAddress(std::uint8_t code) {
  return static_cast<std::uint16_t>(kExceptionBase + code);
}

struct ReceivedRead {
  std::uint16_t transaction_id = 0;
  std::uint16_t address = 0;
  std::uint16_t quantity = 0;
};

class ScriptedPeer {
 public:
  ScriptedPeer();
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  std::uint16_t port() const { return server_.serverPort(); }

  // The register map, the same at every address and on every read. The
  // values that faulty answers carry differ from it everywhere, so one that
  // reaches the table is caught wherever it lands.
  static std::uint16_t valueAt(std::uint16_t address) { return static_cast<std::uint16_t>(7 * address + 11); }

  // Every read request received, in order, over all connections.
  const std::vector<ReceivedRead>& requests() const { return requests_; }
  // Whether every byte the peer meant to send so far has gone out.
  bool doneSending() const;

 private:
  struct Client {
    QTcpSocket* socket = nullptr;  // owned by the server
    QByteArray received;
    std::optional<QByteArray> held;  // a late answer waiting for the next request
    int pending_writes = 0;          // bytes still to go one at a time
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
