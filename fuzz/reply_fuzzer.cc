// Feeds arbitrary bytes to the window as the device's answer: framing,
// pairing with the outstanding request and decoding, on the virtual clock
// and the virtual network. After every input the window must hold exactly
// what a small reference of the same rules, written here on its own, says:
// no value from a frame that was not the answer asked for, captions that
// name the registers asked for, no cell outside the read definition's two
// columns, status labels that tell the outcome and every arrival nobody
// asked for, and no request for no registers.
//
// Input: four header bytes, then the bytes the peer sends.
//   byte 0  bits 0-1  how the bytes arrive: 0 all at once, 1 one at a time,
//                     2 in chunks led by a control byte (below), 3 in
//                     chunks of 1 to 8 bytes in a fixed pattern
//           bit 2     the first two bytes are replaced by the transaction
//                     identifier of the request, so the pairing passes
//           bits 3-5  the read definition's count text (kCounts)
//           bits 6-7  the grid's size (kGrids)
//   byte 1  bits 0-2  the current row, modulo 5
//           bit 3     no request is sent before the bytes arrive
//           bit 4     the request goes to slot 1 instead of slot 0
//   bytes 2-3         the transaction identifier of the first request
// A control byte (scheme 2): bits 0-5 the chunk's size minus one, bit 6 a
// new request goes out before the chunk, bit 7 the chunk arrives on the
// other connected slot.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/window_events.h"
#include "devices/connect.h"
#include "fuzz_check.h"
#include "polling/read_request.h"
#include "support/fake_device.h"
#include "support/virtual_env.h"
#include "window/option_ip.h"

namespace rtupoll::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kHost = "127.0.0.1";
constexpr std::uint16_t kPorts[2] = {15020, 15021};
constexpr const char* kFirstRegister = "301";  // address 300 on the wire

// A count text, with what the request asks for: its leading number, to the
// nearest whole number.
struct CountText {
  const char* text;
  int quantity;
};
constexpr std::array<CountText, 8> kCounts = {{
    {"2", 2},
    {"1", 1},
    {"0", 0},
    {"10", 10},
    {"125", 125},  // the most one answer can hold
    {"2.5", 2},
    {"", 0},
    {"3abc", 3},
}};

struct GridSize {
  int rows;
  int cols;
};
// After start-up; at creation; a value column partly outside; more rows
// than any answer fills.
constexpr std::array<GridSize, 4> kGrids = {{{30, 30}, {2, 2}, {8, 7}, {130, 30}}};

class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t left() const { return size_ - at_; }
  Bytes take(std::size_t n) {
    n = std::min(n, left());
    Bytes out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Arrival {
  bool new_request = false;  // a request goes out first
  bool other_slot = false;
  Bytes bytes;
};

struct Scenario {
  CountText count;
  GridSize grid;
  int row;
  bool request_first;
  int request_slot;
  std::uint16_t first_tid;
  bool patch_tid;
  std::vector<Arrival> arrivals;
};

Scenario readScenario(const std::uint8_t* data, std::size_t size) {
  InputReader in(data, size);
  const std::uint8_t h0 = in.next();
  const std::uint8_t h1 = in.next();
  Scenario s{};
  s.patch_tid = (h0 & 0x04) != 0;
  s.count = kCounts[(h0 >> 3) & 0x07];
  s.grid = kGrids[h0 >> 6];
  s.row = (h1 & 0x07) % kReadDefs;
  s.request_first = (h1 & 0x08) == 0;
  s.request_slot = (h1 & 0x10) ? 1 : 0;
  s.first_tid = static_cast<std::uint16_t>(in.next() << 8);
  s.first_tid = static_cast<std::uint16_t>(s.first_tid | in.next());

  constexpr std::size_t kPattern[] = {3, 5, 1, 8, 2, 7, 4, 6};
  std::size_t pattern_at = 0;
  while (in.left() > 0) {
    Arrival a;
    switch (h0 & 0x03) {
      case 0: a.bytes = in.take(in.left()); break;
      case 1: a.bytes = in.take(1); break;
      case 2: {
        const std::uint8_t control = in.next();
        a.new_request = (control & 0x40) != 0;
        a.other_slot = (control & 0x80) != 0;
        a.bytes = in.take((control & 0x3F) + 1u);
        break;
      }
      default: a.bytes = in.take(kPattern[pattern_at++ % std::size(kPattern)]); break;
    }
    s.arrivals.push_back(std::move(a));
  }
  return s;
}

// ---- The reference: the framing and pairing rules, kept small ----

struct Expected {
  std::vector<std::string> captions;  // caption column, rows 0 .. grid rows - 1
  std::vector<std::string> column;    // value column, rows 0 .. grid rows - 1
  std::array<std::string, 2> status;  // the labels of slots 0 and 1
  bool step_armed = false;
  bool request_sent = false;
};

class Reference {
 public:
  explicit Reference(const Scenario& s)
      : s_(s), tid_(s.first_tid) {
    e_.captions.resize(static_cast<std::size_t>(s.grid.rows));
    e_.column.resize(static_cast<std::size_t>(s.grid.rows));
    e_.status = {"Connected OK", "Connected OK"};
  }

  // The transaction identifier of the request that goes out; none for a
  // read of no registers, which is done at once.
  std::optional<std::uint16_t> request() {
    outstanding_ = false;
    // The first start of the read captions the registers it asks for, whose
    // values are unknown until their answer comes.
    if (!captioned_) {
      captioned_ = true;
      for (int r = 1; r <= s_.count.quantity; ++r) {
        write(e_.captions, r, s_.row * 2 + 1, std::to_string(300 + r) + ">>");
        write(e_.column, r, valueColumn(), "???");
      }
    }
    if (s_.count.quantity == 0) {  // nothing asked, nothing shown
      e_.step_armed = e_.step_armed || s_.row < kLastReadDef;
      return std::nullopt;
    }
    const std::uint16_t tid = tid_++;
    outstanding_ = true;
    outstanding_tid_ = tid;
    e_.request_sent = true;
    streams_[static_cast<std::size_t>(s_.request_slot)].clear();
    status() = status() == "Transmit" ? "Transmit.............." : "Transmit";
    return tid;
  }

  void arrive(int slot, const Bytes& bytes) {
    Bytes& stream = streams_[static_cast<std::size_t>(slot)];
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    const bool ours = slot == s_.request_slot;
    for (;;) {
      const bool bad_protocol = stream.size() >= 4 && (stream[2] != 0 || stream[3] != 0);
      const std::size_t length = stream.size() >= 6 ? (stream[4] << 8 | stream[5]) : 0;
      if (bad_protocol || (stream.size() >= 6 && (length < 3 || length > 254))) {
        stream.clear();
        if (ours && outstanding_) {
          outstanding_ = false;
          reject("Data Loss");
        } else {
          e_.status[static_cast<std::size_t>(slot)] = "Data Loss";
        }
        return;
      }
      if (stream.size() < 6 || stream.size() < 6 + length) return;
      const Bytes frame(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(6 + length));
      stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(6 + length));
      if (!ours || !outstanding_ || (frame[0] << 8 | frame[1]) != outstanding_tid_) {
        e_.status[static_cast<std::size_t>(slot)] = "Data Loss";  // nobody asked for it
        continue;
      }
      outstanding_ = false;
      decode(frame);
    }
  }

  const Expected& expected() const { return e_; }

 private:
  void decode(const Bytes& frame) {
    if (frame[7] == 0x83) return reject("Exception " + std::to_string(frame[8]));
    const std::size_t byte_count = frame[8];
    if (frame[7] != 3 || byte_count != 2u * static_cast<unsigned>(s_.count.quantity) ||
        frame.size() != 9 + byte_count)
      return reject("Data Loss");
    for (int i = 0; i < s_.count.quantity; ++i) {
      const unsigned value = frame[9 + 2 * i] * 256u + frame[10 + 2 * i];
      write(e_.column, i + 1, valueColumn(), std::to_string(value));
    }
    status() = "Received";
    e_.step_armed = e_.step_armed || s_.row < kLastReadDef;
  }

  void reject(const std::string& caption) {
    status() = caption;
    for (int r = 1; r <= s_.count.quantity; ++r) write(e_.column, r, valueColumn(), "???");
    e_.step_armed = e_.step_armed || s_.row < kLastReadDef;
  }

  void write(std::vector<std::string>& column, int row, int col, const std::string& text) {
    if (row < s_.grid.rows && col < s_.grid.cols) column[static_cast<std::size_t>(row)] = text;
  }
  int valueColumn() const { return (s_.row + 1) * 2; }
  std::string& status() { return e_.status[static_cast<std::size_t>(s_.request_slot)]; }

  const Scenario& s_;
  std::uint16_t tid_;
  bool captioned_ = false;
  bool outstanding_ = false;
  std::uint16_t outstanding_tid_ = 0;
  std::array<Bytes, 2> streams_;
  Expected e_;
};

// ---- The window under test ----

Bytes expectedRequest(std::uint16_t tid, int quantity) {
  return {static_cast<std::uint8_t>(tid >> 8), static_cast<std::uint8_t>(tid), 0, 0, 0, 6, 1, 3, 0x01, 0x2C,
          static_cast<std::uint8_t>(quantity >> 8), static_cast<std::uint8_t>(quantity)};
}

void run(const Scenario& s) {
  VirtualEnv env;
  std::array<testing::FakeDevice, 2> devices;
  OptionIP w(env);
  WindowEvents events(w);
  w.tabel.setRows(s.grid.rows);
  w.tabel.setCols(s.grid.cols);
  for (int slot = 0; slot < 2; ++slot) {
    const auto k = static_cast<std::size_t>(slot);
    devices[k].setMode(testing::FakeDevice::Mode::kSilent);
    env.listen(kHost, kPorts[k], &devices[k]);
    w.txtIP[k].setText(kHost);
    w.txtPort[k].setText(std::to_string(kPorts[k]));
    connectSlot(w, slot);
    require(w.Winsock1(slot).State() == SocketSlot::kConnected, "the virtual peer accepts");
  }
  const auto row = static_cast<std::size_t>(s.row);
  w.currentRow = static_cast<std::int16_t>(s.row);
  w.LstIP[row].setListIndex(s.request_slot);
  w.strReg[row].setText(kFirstRegister);
  w.LegReg[row].setText(s.count.text);
  w.poll.nextTransactionId = s.first_tid;

  Reference ref(s);
  testing::FakeDevice& asked = devices[static_cast<std::size_t>(s.request_slot)];
  auto request = [&] {
    const std::size_t before = asked.requests().size();
    sendReadRequest(w);
    const std::optional<std::uint16_t> tid = ref.request();
    env.advance(Nanos(0));
    if (tid)
      require(asked.requests().size() == before + 1 && asked.requests().back() == expectedRequest(*tid, s.count.quantity),
              "the request carries the next transaction identifier and the count");
    else
      require(asked.requests().size() == before, "a read of no registers puts nothing on the wire");
    return tid;
  };
  std::optional<std::uint16_t> tid;
  if (s.request_first) tid = request();

  for (std::size_t i = 0; i < s.arrivals.size(); ++i) {
    const Arrival& a = s.arrivals[i];
    if (a.new_request) tid = request();
    Bytes bytes = a.bytes;
    if (i == 0 && s.patch_tid && tid) {
      if (bytes.size() > 0) bytes[0] = static_cast<std::uint8_t>(*tid >> 8);
      if (bytes.size() > 1) bytes[1] = static_cast<std::uint8_t>(*tid);
    }
    const int slot = a.other_slot ? 1 - s.request_slot : s.request_slot;
    devices[static_cast<std::size_t>(slot)].link()->deliver(bytes);
    ref.arrive(slot, bytes);
    env.advance(Nanos(0));  // the arrival only: no timer falls due
  }

  const Expected& e = ref.expected();
  require(w.tabel.rows() == s.grid.rows && w.tabel.cols() == s.grid.cols, "the grid keeps its size");
  const int value_col = (s.row + 1) * 2;
  for (int r = 0; r < s.grid.rows; ++r) {
    for (int c = 0; c < s.grid.cols; ++c) {
      const std::string cell = w.tabel.text(r, c);
      if (c == value_col && r > 0)
        require(cell == e.column[static_cast<std::size_t>(r)],
                "a value cell holds a register of the paired answer, \"???\" or nothing");
      else if (c == value_col - 1 && r > 0)
        require(cell == e.captions[static_cast<std::size_t>(r)], "a caption names a register asked for");
      else
        require(cell.empty(), "no cell outside the read definition's two columns is written");
    }
  }
  for (std::size_t slot = 0; slot < e.status.size(); ++slot) {
    const Label& status = w.lblStatus[slot];
    const std::string& caption = e.status[slot];
    require(status.caption() == caption, "each status label tells the outcome, and any arrival nobody asked for");
    if (caption == "Received") require(status.backColor() == colors::kGreen, "\"Received\" on green");
    if (caption == "Data Loss" || caption.starts_with("Exception ") || caption == "Transmit..............")
      require(status.backColor() == colors::kYellow, "a rejected answer on yellow");
  }
  require(w.Timer4.enabled() == e.step_armed, "the next step is armed exactly when an answer was handled");
  require(w.requestSent == e.request_sent, "requestSent tells whether a request went out");
}

}  // namespace
}  // namespace rtupoll::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rtupoll::fuzz::run(rtupoll::fuzz::readScenario(data, size));
  return 0;
}
