#include "runtime/qt_socket.h"

#include <QNetworkProxy>

namespace rtupoll {

QtSocket::QtSocket(std::function<void()> on_data_arrival) : on_data_arrival_(std::move(on_data_arrival)) {
  // Devices sit on the plant network; a desktop proxy setting must never
  // reroute their traffic.
  socket_.setProxy(QNetworkProxy::NoProxy);
  QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] {
    if (on_data_arrival_) on_data_arrival_();
  });
  QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
    // A request is 12 bytes and the device answers only after it has it
    // whole: Nagle's delay would only stretch every round trip.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Qt may report a failed address of a host with several before
    // another one answers; that failure is over now.
    ending_ = Ending::kNone;
  });
  QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this](QAbstractSocket::SocketError error) {
    if (ending_ != Ending::kNone) return;
    ending_ = error == QAbstractSocket::RemoteHostClosedError ? Ending::kPeerClosed : Ending::kFailed;
  });
}

void QtSocket::connectToHost(const std::string& host, std::uint16_t port) {
  // Cleared first: Qt may report a failure from inside connectToHost.
  ending_ = Ending::kNone;
  socket_.connectToHost(QString::fromStdString(host), port);
}

void QtSocket::abort() {
  socket_.abort();
  ending_ = Ending::kNone;
}

LinkState QtSocket::state() const {
  switch (socket_.state()) {
    case QAbstractSocket::HostLookupState: return LinkState::kResolving;
    case QAbstractSocket::ConnectingState: return LinkState::kConnecting;
    case QAbstractSocket::ConnectedState: return LinkState::kConnected;
    case QAbstractSocket::ClosingState: return LinkState::kClosing;
    case QAbstractSocket::UnconnectedState:
      switch (ending_) {
        case Ending::kNone: return LinkState::kClosed;
        case Ending::kPeerClosed: return LinkState::kPeerClosed;
        case Ending::kFailed: return LinkState::kFailed;
      }
      break;
    case QAbstractSocket::BoundState:
    case QAbstractSocket::ListeningState:
      break;  // a client socket neither binds nor listens
  }
  return LinkState::kFailed;
}

bool QtSocket::write(std::span<const std::uint8_t> bytes) {
  if (socket_.state() != QAbstractSocket::ConnectedState) return false;
  const auto size = static_cast<qint64>(bytes.size());
  if (socket_.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return false;
  // Out now, not on the event loop's next pass: a repaint queued by the
  // same handler would otherwise hold the request back.
  socket_.flush();
  return true;
}

std::size_t QtSocket::bytesAvailable() const { return static_cast<std::size_t>(socket_.bytesAvailable()); }

std::size_t QtSocket::read(std::span<std::uint8_t> out) {
  const qint64 n = socket_.read(reinterpret_cast<char*>(out.data()), static_cast<qint64>(out.size()));
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

}  // namespace rtupoll
