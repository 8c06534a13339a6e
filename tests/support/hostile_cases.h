#pragma once

// The bad answers a device can give to read definition 0, and what each
// comes to: one table for the virtual runtime (tests/unit/hostile_answer_test.cc)
// and the real sockets (tests/qt/hostile_peer_test.cc). Only a close in
// mid-frame, a reset and a flood need a real kernel: they run on real
// sockets, every other case on virtual time. Every case also runs against
// rtu-sim, which answers all of them well.

#include <cstdint>
#include <ostream>

#include "support/hostile_answers.h"

namespace rtupoll::testing {

// What read definition 0 comes to, at the scripted device.
enum class Outcome {
  kDecoded,   // its values, "Received" on green
  kRejected,  // "???", the case's caption on yellow
  kIgnored,   // nothing at all until the poll clock moves on
  kLinkLost,  // nothing, then the link is down: the next read finds it "Not connected"
};

// When an answer nobody asked for shows as "Data Loss" on slot 0, beside
// read definition 0's own outcome.
enum class Unasked {
  kNone,
  kBefore,          // before read definition 0's answer
  kAfter,           // right after it
  kWhileWaiting,    // while read definition 0 waits in vain
  kAfterOvertaken,  // after the poll moved on, before read definition 1's answer
};

struct HostileCase {
  const char* name;
  std::uint16_t address;  // read definition 0's starting address on the wire
  Outcome outcome;
  const char* caption = "";  // for kRejected
  std::uint16_t first_transaction_id = 0;
  Unasked unasked = Unasked::kNone;
};

inline void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

inline constexpr HostileCase kHostileCases[] = {
    {"PlainAnswer", 50, Outcome::kDecoded},
    {"SplitByteByByte", faultAddress(PeerFault::kByteByByte), Outcome::kDecoded},
    {"CoalescedWithACopyForTheNextId", faultAddress(PeerFault::kWithNextCopy), Outcome::kDecoded, "", 0, Unasked::kAfter},
    {"CoalescedWithAForeignAnswer", faultAddress(PeerFault::kWithForeignAnswer), Outcome::kDecoded, "", 0,
     Unasked::kAfter},
    {"BehindAFloodOfForeignAnswers", faultAddress(PeerFault::kFlood), Outcome::kDecoded, "", 0, Unasked::kBefore},
    {"JunkBehindAGoodAnswer", faultAddress(PeerFault::kJunkBehind), Outcome::kDecoded},
    {"CorruptJunkBehindAGoodAnswer", faultAddress(PeerFault::kCorruptJunkBehind), Outcome::kDecoded, "", 0,
     Unasked::kAfter},
    {"LengthField254WholeFrame", faultAddress(PeerFault::kLength254), Outcome::kRejected, "Data Loss"},
    {"LengthFieldBeyond254", faultAddress(PeerFault::kBeyond254), Outcome::kRejected, "Data Loss"},
    {"Exception1", exceptionAddress(1), Outcome::kRejected, "Exception 1"},
    {"Exception2", exceptionAddress(2), Outcome::kRejected, "Exception 2"},
    {"Exception3", exceptionAddress(3), Outcome::kRejected, "Exception 3"},
    {"Exception4", exceptionAddress(4), Outcome::kRejected, "Exception 4"},
    {"Exception10", exceptionAddress(0x0A), Outcome::kRejected, "Exception 10"},
    {"Exception11", exceptionAddress(0x0B), Outcome::kRejected, "Exception 11"},
    {"UnknownExceptionCode", exceptionAddress(0x99), Outcome::kRejected, "Exception 153"},
    {"ExceptionOfAnotherFunction", faultAddress(PeerFault::kForeignException), Outcome::kRejected, "Data Loss"},
    {"WrongFunctionCode", faultAddress(PeerFault::kWrongFunction), Outcome::kRejected, "Data Loss"},
    {"WrongByteCount", faultAddress(PeerFault::kWrongByteCount), Outcome::kRejected, "Data Loss"},
    {"OneRegisterMore", faultAddress(PeerFault::kOneRegisterMore), Outcome::kRejected, "Data Loss"},
    {"ByteCountBelowTheLength", faultAddress(PeerFault::kByteCountBelowLength), Outcome::kRejected, "Data Loss"},
    {"ForeignTransactionId", faultAddress(PeerFault::kForeignId), Outcome::kIgnored, "", 0, Unasked::kWhileWaiting},
    {"ProtocolIdNotZero", faultAddress(PeerFault::kProtocolId), Outcome::kRejected, "Data Loss"},
    {"LengthFieldZero", faultAddress(PeerFault::kLengthZero), Outcome::kRejected, "Data Loss"},
    {"LengthField2000", faultAddress(PeerFault::kLength2000), Outcome::kRejected, "Data Loss"},
    {"LateAnswerAfterThePollMovedOn", faultAddress(PeerFault::kLate), Outcome::kIgnored, "", 0,
     Unasked::kAfterOvertaken},
    {"HeaderThenSilence", faultAddress(PeerFault::kHeaderThenSilence), Outcome::kIgnored},
    {"NoAnswer", faultAddress(PeerFault::kSilent), Outcome::kIgnored},
    {"ClosedInMidFrame", faultAddress(PeerFault::kCloseMidFrame), Outcome::kLinkLost},
    {"Reset", faultAddress(PeerFault::kReset), Outcome::kLinkLost},
    {"TransactionIdsAcrossTheWrap", 60, Outcome::kDecoded, "", 0xFFFE},
    {"CopyForTheNextIdAcrossTheWrap", faultAddress(PeerFault::kWithNextCopy), Outcome::kDecoded, "", 0xFFFF,
     Unasked::kAfter},
};

// A close, a reset and a flood of 16 MiB are the kernel's to deliver: how a
// real socket reports them, and how long taking them off it takes.
inline constexpr bool needsRealSockets(const HostileCase& c) {
  return c.address == faultAddress(PeerFault::kCloseMidFrame) || c.address == faultAddress(PeerFault::kReset) ||
         c.address == faultAddress(PeerFault::kFlood);
}

}  // namespace rtupoll::testing
