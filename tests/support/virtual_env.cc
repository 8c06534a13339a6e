#include "support/virtual_env.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "env/timer_bursts.h"

namespace rtupoll {

class VirtualRuntime::VirtualTimer : public TimerDriver {
 public:
  VirtualTimer(VirtualRuntime& env, std::function<void()> on_tick)
      : env_(env), on_tick_(std::move(on_tick)) {
    env_.timers_.push_back(this);
  }
  ~VirtualTimer() override { std::erase(env_.timers_, this); }

  void start(std::chrono::milliseconds interval) override {
    ticks_per_wake_ = ticksPerWake(interval);
    period_ = interval * ticks_per_wake_;
    running_ = true;
    ++generation_;  // a restarted timer is a new timer, as in Qt
    nextBurst(env_.now_ + period_);
  }
  void stop() override { running_ = false; }

  // Due and not blocked by its own tick still on the stack.
  bool eligible() const { return running_ && !(in_tick_ && tick_generation_ == generation_); }
  Nanos due() const { return due_; }
  std::uint64_t seq() const { return seq_; }

  // One tick. The ticks of a burst are events of their own at the burst's
  // time, ahead of anything their ticks post, so a test can stop between
  // them; nothing else runs in between, as in one wake-up of the program.
  void fire() {
    if (--left_ == 0) nextBurst(due_ + period_);
    const bool outer = in_tick_;
    const std::uint64_t outer_generation = tick_generation_;
    const std::uint64_t generation = generation_;
    const Nanos began = env_.now_;
    in_tick_ = true;
    tick_generation_ = generation;
    on_tick_();
    in_tick_ = outer;
    tick_generation_ = outer_generation;
    // A tick that waited ends its burst, and ticks that fell due while it
    // ran are not made up for.
    const bool burst_over = left_ == ticks_per_wake_;
    if (running_ && generation_ == generation && (env_.now_ - began > period_ || (burst_over && due_ <= env_.now_)))
      nextBurst(env_.now_ + period_);
  }

 private:
  void nextBurst(Nanos due) {
    due_ = due;
    left_ = ticks_per_wake_;
    seq_ = ++env_.seq_;
  }

  VirtualRuntime& env_;
  std::function<void()> on_tick_;
  Nanos period_{0};
  int ticks_per_wake_ = 1;
  int left_ = 0;  // ticks of the current burst still to come
  Nanos due_{0};
  std::uint64_t seq_ = 0;
  bool running_ = false;
  std::uint64_t generation_ = 0;
  bool in_tick_ = false;
  std::uint64_t tick_generation_ = 0;
};

// ---- VirtualLink ----

void VirtualLink::deliver(std::vector<std::uint8_t> bytes, Nanos delay) {
  env_.post(delay, [weak = weak_from_this(), bytes = std::move(bytes)] {
    if (auto link = weak.lock(); link && link->socket_ != nullptr) link->socket_->receive(bytes);
  });
}

void VirtualLink::closeFromPeer(Nanos delay) {
  env_.post(delay, [weak = weak_from_this()] {
    if (auto link = weak.lock(); link && link->socket_ != nullptr) link->socket_->dropLink(LinkState::kPeerClosed);
  });
}

// ---- VirtualSocket ----

VirtualSocket::VirtualSocket(VirtualRuntime& env, std::function<void()> on_data_arrival)
    : env_(env), on_data_arrival_(std::move(on_data_arrival)) {
  env_.sockets_.push_back(this);
}

VirtualSocket::~VirtualSocket() {
  if (link_) link_->socket_ = nullptr;
  std::erase(env_.sockets_, this);
}

void VirtualSocket::connectToHost(const std::string& host, std::uint16_t port) {
  ++connect_calls_;
  if (state_ != LinkState::kClosed) return;  // as a real socket, only from closed
  host_ = host;
  port_ = port;
  const std::uint64_t attempt = ++attempt_;
  state_ = LinkState::kConnecting;
  VirtualPeer* peer = env_.peerAt(host, port);
  const ConnectPlan plan = peer ? peer->onConnect() : ConnectPlan{ConnectPlan::Outcome::kRefuse};
  if (plan.outcome == ConnectPlan::Outcome::kHang) return;
  env_.post(plan.delay, [this, attempt, peer, plan] {
    if (attempt != attempt_ || state_ != LinkState::kConnecting) return;
    if (plan.outcome == ConnectPlan::Outcome::kRefuse) {
      state_ = LinkState::kFailed;
      return;
    }
    state_ = LinkState::kConnected;
    peer_ = peer;
    link_ = std::make_shared<VirtualLink>(env_, this);
    if (peer != nullptr) peer->onAccept(*link_);
  });
}

void VirtualSocket::dropLink(LinkState new_state) {
  ++attempt_;
  state_ = new_state;
  received_.clear();
  if (link_) link_->socket_ = nullptr;
  link_.reset();
  peer_ = nullptr;
}

void VirtualSocket::abort() { dropLink(LinkState::kClosed); }

bool VirtualSocket::write(std::span<const std::uint8_t> bytes) {
  if (state_ != LinkState::kConnected) return false;
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  writes_.push_back(copy);
  // The peer sees the bytes a moment later, never inside our own handler.
  std::weak_ptr<VirtualLink> weak = link_;
  VirtualPeer* peer = peer_;
  env_.post(Nanos(0), [weak, peer, copy] {
    if (auto link = weak.lock(); link && link->open()) peer->onData(*link, copy);
  });
  return true;
}

std::size_t VirtualSocket::read(std::span<std::uint8_t> out) {
  const std::size_t n = std::min(out.size(), received_.size());
  std::copy_n(received_.begin(), n, out.begin());
  received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

void VirtualSocket::receive(const std::vector<std::uint8_t>& bytes) {
  if (state_ != LinkState::kConnected || bytes.empty()) return;
  received_.insert(received_.end(), bytes.begin(), bytes.end());
  on_data_arrival_();
}

// ---- VirtualRuntime ----

VirtualRuntime::VirtualRuntime(std::string program_folder, char decimal_separator)
    : program_folder_(std::move(program_folder)), decimal_separator_(decimal_separator) {}

VirtualRuntime::~VirtualRuntime() = default;

std::unique_ptr<TimerDriver> VirtualRuntime::createTimer(std::function<void()> on_tick) {
  return std::make_unique<VirtualTimer>(*this, std::move(on_tick));
}

std::unique_ptr<SocketDriver> VirtualRuntime::createSocket(std::function<void()> on_data_arrival) {
  return std::make_unique<VirtualSocket>(*this, std::move(on_data_arrival));
}

void VirtualRuntime::post(Nanos delay, std::function<void()> action) {
  posted_.push_back({now_ + delay, ++seq_, std::move(action)});
}

bool VirtualRuntime::runNext(Nanos limit) {
  // The earliest posted event and the earliest eligible timer compete;
  // ties go to whichever was scheduled first.
  auto posted = std::min_element(posted_.begin(), posted_.end(), [](const Posted& a, const Posted& b) {
    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
  });
  VirtualTimer* timer = nullptr;
  for (VirtualTimer* t : timers_) {
    if (!t->eligible()) continue;
    if (timer == nullptr || t->due() < timer->due() || (t->due() == timer->due() && t->seq() < timer->seq()))
      timer = t;
  }
  const bool take_posted =
      posted != posted_.end() &&
      (timer == nullptr || posted->due < timer->due() || (posted->due == timer->due() && posted->seq < timer->seq()));
  const Nanos due = take_posted ? posted->due : (timer ? timer->due() : Nanos::max());
  if (due > limit) return false;
  now_ = std::max(now_, due);
  ++events_run_;
  if (take_posted) {
    std::function<void()> action = std::move(posted->action);
    posted_.erase(posted);
    action();
  } else {
    timer->fire();
  }
  return true;
}

void VirtualRuntime::waitForEvents(Nanos deadline) {
  if (!runNext(deadline)) now_ = std::max(now_, deadline);
}

void VirtualRuntime::advance(Nanos span) {
  const Nanos until = now_ + span;
  while (runNext(until)) {
  }
  now_ = std::max(now_, until);
}

bool VirtualRuntime::advanceUntil(const std::function<bool()>& done, Nanos limit) {
  const Nanos until = now_ + limit;
  while (!done()) {
    if (!runNext(until)) {
      now_ = std::max(now_, until);
      return done();
    }
  }
  return true;
}

void VirtualRuntime::listen(const std::string& host, std::uint16_t port, VirtualPeer* peer) {
  peers_[{host, port}] = peer;
}

void VirtualRuntime::unlisten(const std::string& host, std::uint16_t port) { peers_.erase({host, port}); }

VirtualPeer* VirtualRuntime::peerAt(const std::string& host, std::uint16_t port) const {
  auto it = peers_.find({host, port});
  return it == peers_.end() ? nullptr : it->second;
}

// ---- VirtualEnv ----

VirtualEnv::VirtualEnv(std::string program_folder, char decimal_separator)
    : VirtualRuntime(std::move(program_folder), decimal_separator) {
  files_.addFolder(programFolder());
}

}  // namespace rtupoll
