// The device simulator as the demo and the end-to-end tests use it: started as
// a process, asked over raw Modbus TCP frames on loopback.

#include <gtest/gtest.h>

#include "qt/support/simulator.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdint>
#include <vector>

namespace rtupoll {
namespace {

using testing::Simulator;

constexpr int kWaitMs = 10000;

QByteArray readRequest(uint16_t transactionId, uint16_t address, uint16_t count) {
  const uint8_t frame[] = {uint8_t(transactionId >> 8), uint8_t(transactionId), 0, 0, 0, 6, 1, 3,
                           uint8_t(address >> 8),       uint8_t(address),       uint8_t(count >> 8),
                           uint8_t(count)};
  return QByteArray(reinterpret_cast<const char*>(frame), sizeof frame);
}

uint16_t word(const QByteArray& bytes, int at) {
  return uint16_t(uint8_t(bytes[at]) << 8 | uint8_t(bytes[at + 1]));
}

bool connectTo(QTcpSocket& socket, quint16 port) {
  socket.connectToHost("127.0.0.1", port);
  return socket.waitForConnected(kWaitMs);
}

// One whole answer: the 6-byte MBAP prefix, then as many bytes as its length field says.
QByteArray readAnswer(QTcpSocket& socket) {
  QByteArray answer;
  QElapsedTimer clock;
  clock.start();
  auto expected = [&] { return answer.size() < 6 ? 6 : 6 + word(answer, 4); };
  while (answer.size() < expected() && clock.elapsed() < kWaitMs) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kWaitMs - clock.elapsed())) break;
    answer += socket.read(expected() - answer.size());
  }
  return answer;
}

QByteArray ask(QTcpSocket& socket, uint16_t transactionId, uint16_t address, uint16_t count) {
  socket.write(readRequest(transactionId, address, count));
  return readAnswer(socket);
}

// The register values of a valid function-3 answer.
std::vector<uint16_t> registersOf(const QByteArray& answer) {
  std::vector<uint16_t> values;
  for (int at = 9; at + 1 < answer.size(); at += 2) values.push_back(word(answer, at));
  return values;
}

TEST(RtuSim, ServesChangingAndFixedHoldingRegistersPerDevice) {
  Simulator sim({"--port", "0", "--port", "0", "--seconds", "30"});
  auto ports = sim.waitForPorts(2);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_NE(ports[0], ports[1]);

  QTcpSocket first, second;
  ASSERT_TRUE(connectTo(first, ports[0]));
  ASSERT_TRUE(connectTo(second, ports[1]));

  QElapsedTimer total;
  total.start();
  QByteArray answer = ask(first, 0x0001, 0, 10);
  ASSERT_EQ(answer.size(), 29);
  EXPECT_EQ(word(answer, 0), 0x0001) << "transaction identifier echoed";
  EXPECT_EQ(word(answer, 2), 0) << "protocol identifier";
  EXPECT_EQ(word(answer, 4), 23) << "unit, function, byte count and 10 registers";
  EXPECT_EQ(uint8_t(answer[6]), 1) << "unit identifier";
  EXPECT_EQ(uint8_t(answer[7]), 3) << "function";
  EXPECT_EQ(uint8_t(answer[8]), 20) << "byte count";
  auto before = registersOf(answer);
  ASSERT_EQ(before.size(), 10u);
  EXPECT_LE(before[1], 2000) << "sine stays within 0..2000";
  EXPECT_LT(before[2], 100) << "sawtooth stays within 0..99";
  for (uint16_t address = 3; address < 10; ++address) EXPECT_EQ(before[address], 100 + address);

  // A second device at the same moment shows other values.
  auto other = registersOf(ask(second, 0x1234, 0, 10));
  ASSERT_EQ(other.size(), 10u);
  EXPECT_GE(other[0], 1000) << "the second device's counter starts at 1000";
  for (uint16_t address = 3; address < 10; ++address) EXPECT_EQ(other[address], 200 + address);

  // Register 0 counts whole seconds: after at least 1.5 s it has gone up by at
  // least one and by no more than the seconds that passed overall (rounded up).
  QElapsedTimer between;
  between.start();
  while (between.elapsed() < 1500) QThread::msleep(1500 - between.elapsed());
  answer = ask(first, 0x0002, 0, 1);
  const double elapsedSeconds = total.elapsed() / 1000.0;
  ASSERT_EQ(answer.size(), 11);
  EXPECT_EQ(word(answer, 0), 0x0002);
  const int counted = word(answer, 9) - before[0];
  EXPECT_GE(counted, 1);
  EXPECT_LE(counted, int(elapsedSeconds) + 1);
}

// A request the device refuses gets its exception at once, and the request
// sent right behind it, in the same segment, is served: nothing is
// discarded. libmodbus left to itself would wait its response timeout
// before refusing a quantity and then drop what came meanwhile.
TEST(RtuSim, AnswersWhatItRefusesWithAnExceptionAndServesTheNextRequest) {
  struct Refused {
    const char* what;
    uint16_t address, count;
    uint8_t exception;
  };
  const Refused cases[] = {
      {"an address beyond the map", 65530, 10, 2},  // illegal data address
      {"a quantity of 0", 0, 0, 3},                 // illegal data value
      {"a quantity of 126", 0, 126, 3},
  };
  Simulator sim({"--port", "0", "--seconds", "30"});
  auto ports = sim.waitForPorts(1);
  ASSERT_EQ(ports.size(), 1u);
  QTcpSocket socket;
  ASSERT_TRUE(connectTo(socket, ports[0]));

  uint16_t tid = 0x0007;
  for (const Refused& c : cases) {
    socket.write(readRequest(tid, c.address, c.count) + readRequest(uint16_t(tid + 1), 9999, 1));
    const QByteArray answer = readAnswer(socket);
    ASSERT_EQ(answer.size(), 9) << c.what;
    EXPECT_EQ(word(answer, 0), tid) << c.what;
    EXPECT_EQ(word(answer, 2), 0) << c.what;
    EXPECT_EQ(word(answer, 4), 3) << c.what;
    EXPECT_EQ(uint8_t(answer[7]), 0x83) << c.what << ": exception to function 3";
    EXPECT_EQ(uint8_t(answer[8]), c.exception) << c.what;
    const QByteArray next = readAnswer(socket);
    ASSERT_EQ(next.size(), 11) << "the request behind " << c.what << " was not served";
    EXPECT_EQ(word(next, 0), tid + 1) << c.what;
    tid = uint16_t(tid + 2);
  }
}

TEST(RtuSim, ServesSeveralClientsOnOnePortAndCoalescedRequests) {
  Simulator sim({"--port", "0", "--seconds", "30"});
  auto ports = sim.waitForPorts(1);
  ASSERT_EQ(ports.size(), 1u);
  QTcpSocket early, late;
  ASSERT_TRUE(connectTo(early, ports[0]));
  ASSERT_TRUE(connectTo(late, ports[0]));

  // The client that connected second is served while the first stays idle.
  QByteArray answer = ask(late, 0x0100, 10, 2);
  ASSERT_EQ(answer.size(), 13);
  EXPECT_EQ(word(answer, 0), 0x0100);
  EXPECT_EQ(registersOf(answer), (std::vector<uint16_t>{10, 11}));

  // Two requests in one write are both answered, in order.
  early.write(readRequest(0x0101, 20, 1) + readRequest(0x0102, 30, 1));
  QByteArray firstAnswer = readAnswer(early);
  QByteArray secondAnswer = readAnswer(early);
  ASSERT_EQ(firstAnswer.size(), 11);
  ASSERT_EQ(secondAnswer.size(), 11);
  EXPECT_EQ(word(firstAnswer, 0), 0x0101);
  EXPECT_EQ(word(firstAnswer, 9), 20);
  EXPECT_EQ(word(secondAnswer, 0), 0x0102);
  EXPECT_EQ(word(secondAnswer, 9), 30);
}

TEST(RtuSim, StopsByItselfOnSigtermAndRefusesOtherAddresses) {
  {
    Simulator sim({"--port", "0", "--seconds", "0.5"});
    ASSERT_EQ(sim.waitForPorts(1).size(), 1u);
    ASSERT_TRUE(sim.process().waitForFinished(kWaitMs)) << "--seconds ends the simulator";
    EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process().exitCode(), 0);
  }
  {
    Simulator sim({"--port", "0", "--seconds", "30"});
    ASSERT_EQ(sim.waitForPorts(1).size(), 1u);
    sim.process().terminate();
    ASSERT_TRUE(sim.process().waitForFinished(kWaitMs));
    EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit) << "SIGTERM is handled, not fatal";
    EXPECT_EQ(sim.process().exitCode(), 0);
  }
  {
    Simulator sim({"--bind", "0.0.0.0", "--port", "0", "--seconds", "30"});
    ASSERT_TRUE(sim.process().waitForFinished(kWaitMs));
    EXPECT_EQ(sim.process().exitCode(), 2);
    EXPECT_FALSE(sim.process().readAllStandardOutput().contains("listening"));
  }
}

TEST(RtuSim, StampsEachRequestAndHoldsPortsOfDownDevices) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString log = folder.filePath("requests");
  Simulator sim({"--port", "0", "--refusing", "--hanging", "--log", log, "--seconds", "30"});
  const auto served = sim.waitForPorts(1);
  const auto refusing = sim.waitForPorts(1, "refusing");
  const auto hanging = sim.waitForPorts(1, "hanging");
  ASSERT_EQ(served.size(), 1u);
  ASSERT_EQ(refusing.size(), 1u);
  ASSERT_EQ(hanging.size(), 1u);

  QTcpSocket client;
  ASSERT_TRUE(connectTo(client, served[0]));
  const auto before = std::chrono::steady_clock::now().time_since_epoch();
  ASSERT_EQ(ask(client, 0x0A0B, 4, 10).size(), 29);
  ASSERT_EQ(ask(client, 0x0A0C, 7, 2).size(), 13);
  const auto after = std::chrono::steady_clock::now().time_since_epoch();

  QFile file(log);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << "one whole line per request, as it is read";
  const QStringList first = lines[0].split(' ');
  ASSERT_EQ(first.size(), 6);
  const auto stamp = std::chrono::nanoseconds(first[0].toLongLong());
  EXPECT_GE(stamp, before) << "stamped on the monotonic clock";
  EXPECT_LE(stamp, after);
  EXPECT_EQ(first.mid(1), (QStringList{QString::number(served[0]), "2571", "3", "4", "10"}));
  EXPECT_EQ(lines[1].split(' ').mid(2), (QStringList{"2572", "3", "7", "2"}));

  QTcpSocket refused;
  refused.connectToHost("127.0.0.1", refusing[0]);
  EXPECT_FALSE(refused.waitForConnected(kWaitMs));
  EXPECT_EQ(refused.error(), QAbstractSocket::ConnectionRefusedError);

  QTcpSocket unanswered;
  unanswered.connectToHost("127.0.0.1", hanging[0]);
  EXPECT_FALSE(unanswered.waitForConnected(300)) << "the handshake gets no answer";
  EXPECT_EQ(unanswered.error(), QAbstractSocket::SocketTimeoutError) << "neither refused nor reset";
}

TEST(RtuSim, ClosesEachConnectionAfterItsTime) {
  Simulator sim({"--port", "0", "--close-after", "0.5", "--seconds", "30"});
  const auto ports = sim.waitForPorts(1);
  ASSERT_EQ(ports.size(), 1u);
  for (int round = 0; round < 2; ++round) {
    QTcpSocket client;
    QElapsedTimer lived;
    lived.start();
    ASSERT_TRUE(connectTo(client, ports[0]));
    EXPECT_EQ(ask(client, 0x0001, 3, 1).size(), 11) << "served until the close";
    ASSERT_TRUE(client.state() == QAbstractSocket::UnconnectedState || client.waitForDisconnected(kWaitMs));
    EXPECT_GE(lived.elapsed(), 400);
    EXPECT_EQ(client.error(), QAbstractSocket::RemoteHostClosedError) << "an orderly close";
  }
}

TEST(RtuSim, ServesASingleClientAtATimeAndResetsAnyOther) {
  Simulator sim({"--port", "0", "--single-client", "--seconds", "30"});
  const auto ports = sim.waitForPorts(1);
  ASSERT_EQ(ports.size(), 1u);
  QTcpSocket first;
  ASSERT_TRUE(connectTo(first, ports[0]));
  ASSERT_EQ(ask(first, 0x0001, 3, 1).size(), 11);

  // The kernel completes the handshake; the device resets the connection,
  // at times before the client has seen the handshake complete.
  QTcpSocket second;
  if (connectTo(second, ports[0]) && second.state() != QAbstractSocket::UnconnectedState) {
    ASSERT_TRUE(second.waitForDisconnected(kWaitMs));
  }
  EXPECT_EQ(second.state(), QAbstractSocket::UnconnectedState);
  ASSERT_TRUE(sim.process().waitForReadyRead(kWaitMs));
  EXPECT_EQ(sim.process().readLine().trimmed(), "turned away a client on 127.0.0.1:" + QByteArray::number(ports[0]));
  EXPECT_EQ(ask(first, 0x0002, 3, 1).size(), 11) << "the first client is still served";

  // Once the first client has gone, the next one is served.
  first.disconnectFromHost();
  QThread::msleep(200);
  QTcpSocket third;
  ASSERT_TRUE(connectTo(third, ports[0]));
  EXPECT_EQ(ask(third, 0x0003, 3, 1).size(), 11);
}

}  // namespace
}  // namespace rtupoll
