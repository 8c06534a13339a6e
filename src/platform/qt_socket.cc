#include "platform/qt_socket.h"

#include <QNetworkProxy>

#include <algorithm>

#include "platform/dead_links.h"

namespace rtupoll {

namespace {

// A handshake that gets no answer is tried again after a second, four
// times, then after twice the last wait each time, up to a minute. Kernels
// before Linux 6.5 wait 1, 2, 4 s between tries, so a path that returns
// just after a try would stay unused for seconds; every second at first, a
// returning path is used within a second. The waits grow so that a link
// slower than a second round trip still completes a handshake.
constexpr int kHandshakeWaitMs = 1000;
constexpr int kEvenHandshakeTries = 4;
constexpr int kMostDoublings = 6;

int handshakeWaitMs(int tries_before) {
  return kHandshakeWaitMs << std::clamp(tries_before - kEvenHandshakeTries + 1, 0, kMostDoublings);
}

}  // namespace

QtSocket::QtSocket(std::function<void()> on_data_arrival) : on_data_arrival_(std::move(on_data_arrival)) {
  // Devices sit on the plant network; a desktop proxy setting must never
  // reroute their traffic.
  socket_.setProxy(QNetworkProxy::NoProxy);
  QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] {
    if (on_data_arrival_) on_data_arrival_();
  });
  QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] { onConnected(); });
  QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_,
                   [this](QAbstractSocket::SocketError error) { onError(error); });
  handshake_timer_.setSingleShot(true);
  QObject::connect(&handshake_timer_, &QTimer::timeout, &socket_, [this] { retryHandshake(); });
}

void QtSocket::connectToHost(const std::string& host, std::uint16_t port) {
  // Cleared first: Qt may report a failure from inside connectToHost.
  ending_ = Ending::kNone;
  const Attempt attempt{QString::fromStdString(host), port};
  QHostAddress literal;
  if (literal.setAddress(attempt.host)) {
    connectResolved(attempt, {literal});
    return;
  }
  resolving_ = attempt;
  // A lookup still running (its attempt was aborted) answers this attempt
  // too, or hands over to a lookup of the new name when it ends.
  if (!lookup_) lookUp(attempt.host);
}

// The lookup runs on Qt's resolver threads; the window's thread only gets
// its answer. A resolver that never answers holds that one lookup, never
// the window, and never more than one lookup per socket.
void QtSocket::lookUp(const QString& name) {
  lookup_ = name;
  QHostInfo::lookupHost(name, &socket_, [this, name](const QHostInfo& info) { onLookedUp(name, info); });
}

void QtSocket::onLookedUp(const QString& name, const QHostInfo& info) {
  lookup_.reset();
  if (!resolving_) return;  // aborted meanwhile
  if (resolving_->host != name) {
    lookUp(resolving_->host);
    return;
  }
  const Attempt attempt = *resolving_;
  resolving_.reset();
  if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
    ending_ = Ending::kFailed;
    return;
  }
  connectResolved(attempt, info.addresses());
}

void QtSocket::connectResolved(const Attempt& attempt, const QList<QHostAddress>& addresses) {
  // By name when the name stands for several addresses: Qt tries each in
  // turn (the next one after a refusal, or after 30 s of silence), and
  // finds the lookup's answer in its host cache.
  if (addresses.size() > 1) {
    socket_.connectToHost(attempt.host, attempt.port);
    return;
  }
  handshake_ = Handshake{attempt, addresses.front(), 0};
  startHandshake();
}

void QtSocket::startHandshake() {
  const Attempt& attempt = handshake_->attempt;
  const QHostAddress& address = handshake_->address;
  handshake_timer_.start(handshakeWaitMs(handshake_->tries++));
  // A device that takes one client at a time may still hold the link that
  // died on our side. A new attempt from that link's own local port meets
  // it: the device answers the handshake with an acknowledgement of the old
  // link, our kernel answers that with a reset, which frees the device, and
  // the handshake's next try gets through.
  if (died_ && died_->peer_port == attempt.port && died_->peer == address) {
    if (socket_.bind(died_->local, died_->local_port, QAbstractSocket::ReuseAddressHint)) {
      socket_.connectToHost(address, attempt.port);
      return;
    }
    died_.reset();  // the port is taken by now; any port will do
  }
  socket_.connectToHost(address, attempt.port);
}

// Still no answer: a new handshake from a new socket, at once. The state
// stays "connecting" throughout; the event loop never sees the socket closed.
void QtSocket::retryHandshake() {
  if (!handshake_ || socket_.state() == QAbstractSocket::ConnectedState) return;
  socket_.abort();
  ending_ = Ending::kNone;
  startHandshake();
}

void QtSocket::onConnected() {
  handshake_timer_.stop();
  handshake_.reset();
  // A request is 12 bytes and the device answers only after it has it
  // whole: Nagle's delay would only stretch every round trip.
  socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  endDeadLinksSoon(socket_);
  live_ = Ends{socket_.localAddress(), socket_.localPort(), socket_.peerAddress(), socket_.peerPort()};
  died_.reset();
  // Qt may report a failed address of a host with several before
  // another one answers; that failure is over now.
  ending_ = Ending::kNone;
}

void QtSocket::onError(QAbstractSocket::SocketError error) {
  // A refused or failed attempt has its answer; the reload sequence tries again.
  handshake_timer_.stop();
  handshake_.reset();
  if (error == QAbstractSocket::AddressInUseError || error == QAbstractSocket::SocketAddressNotAvailableError)
    died_.reset();  // the reused local port cannot reach the device again
  // A link ended by anything but the peer (a timeout, a network error)
  // may live on at the device.
  if (live_ && error != QAbstractSocket::RemoteHostClosedError) died_ = live_;
  live_.reset();
  if (ending_ != Ending::kNone) return;
  ending_ = error == QAbstractSocket::RemoteHostClosedError ? Ending::kPeerClosed : Ending::kFailed;
}

void QtSocket::abort() {
  resolving_.reset();
  handshake_timer_.stop();
  handshake_.reset();
  live_.reset();
  socket_.abort();
  ending_ = Ending::kNone;
}

LinkState QtSocket::state() const {
  if (resolving_) return LinkState::kResolving;
  switch (socket_.state()) {
    case QAbstractSocket::HostLookupState: return LinkState::kResolving;
    case QAbstractSocket::ConnectingState: return LinkState::kConnecting;
    case QAbstractSocket::ConnectedState: return LinkState::kConnected;
    case QAbstractSocket::ClosingState: return LinkState::kClosing;
    case QAbstractSocket::BoundState:  // bound to a port, about to connect from it
      return LinkState::kConnecting;
    case QAbstractSocket::UnconnectedState:
      switch (ending_) {
        case Ending::kNone: return LinkState::kClosed;
        case Ending::kPeerClosed: return LinkState::kPeerClosed;
        case Ending::kFailed: return LinkState::kFailed;
      }
      break;
    case QAbstractSocket::ListeningState:
      break;  // a client socket never listens
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
