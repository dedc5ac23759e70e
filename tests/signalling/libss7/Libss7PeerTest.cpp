// An SS7 link aligned with an independent MTP level 2: libss7, running its own
// MTP2 and MTP3 in software on the other end of a socket pair, on the real
// clock. libss7 reads and writes frames as a DAHDI D channel does, with two
// check octets behind each.
#include "signalling/SLC.h"

#include "hardware/GenericHDLC.h"
#include "runtime/loop/Event.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"
#include "runtime/protocol/Packet.h"
#include "tests/support/LinkOwner.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <vector>

// The library's header declares C functions without saying so.
extern "C" {
#include <libss7.h>
}

namespace {

using Bytes = std::vector<uint8_t>;
constexpr unsigned kCheckOctets = 2;

// Our end of the pair, seen by the link as its HDLC channel.
class SocketChannel : public GenericHDLC {
 public:
  SocketChannel(Fd fd, HDLC::Notify* notify) : notify_(notify) {
    event_.Bind("SocketChannel", &SocketChannel::OnEvent, this);
    event_.Schedule(fd, POLLIN);
  }
  bool hdlc_transmit(Packet& packet) override {
    Bytes frame(packet.data(), packet.data() + packet.length());
    frame.resize(frame.size() + kCheckOctets);
    if (send(event_.GetFd().get(), frame.data(), frame.size(), MSG_DONTWAIT) >= 0) {
      return true;
    }
    if (errno == EAGAIN) {
      ready_ = false;
      event_.Schedule(event_.GetFd(), POLLIN | POLLOUT);
    }
    return false;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return ready_; }

  void OnEvent(int fd, short revents) {
    uint8_t buffer[512];
    for (ssize_t n; (revents & POLLIN) != 0 && (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
      if (n <= static_cast<ssize_t>(kCheckOctets)) {
        continue;
      }
      Packet packet;
      packet.reserve_head(0);
      packet.put(buffer, static_cast<unsigned>(n) - kCheckOctets);
      notify_->on_hdlc_receive(packet);
    }
    if ((revents & POLLOUT) != 0 && !ready_) {
      ready_ = true;
      event_.Schedule(event_.GetFd(), POLLIN);
      notify_->on_hdlc_ready();
    }
  }

 private:
  HDLC::Notify* notify_;
  Event event_;
  bool ready_ = true;
};

// libss7 on the other end, served from the loop every couple of milliseconds.
class Libss7Peer {
 public:
  explicit Libss7Peer(int fd) : fd_(fd), ss7_(ss7_new(SS7_ITU)) {
    ss7_set_message([](struct ss7*, char*) {});
    ss7_set_error([](struct ss7*, char*) {});
    ss7_set_network_ind(ss7_, SS7_NI_NAT);
    ss7_set_pc(ss7_, kPeerPc);
    EXPECT_EQ(ss7_add_link(ss7_, SS7_TRANSPORT_DAHDIDCHAN, fd_, 0, kOurPc), 0);
    EXPECT_EQ(ss7_start(ss7_), 0);
  }
  ~Libss7Peer() { ss7_destroy(ss7_); }

  void Serve() {
    pollfd entry{fd_, static_cast<short>(ss7_pollflags(ss7_, fd_)), 0};
    if (poll(&entry, 1, 0) == 1) {
      if ((entry.revents & POLLIN) != 0) {
        (void)ss7_read(ss7_, fd_);
      }
      if ((entry.revents & POLLOUT) != 0) {
        (void)ss7_write(ss7_, fd_);
      }
    }
    (void)ss7_schedule_run(ss7_);
    for (ss7_event* event; (event = ss7_check_event(ss7_)) != nullptr;) {
      events.push_back(event->e);
    }
  }
  bool Saw(int event) const {
    for (int e : events) {
      if (e == event) {
        return true;
      }
    }
    return false;
  }

  static constexpr unsigned kPeerPc = 2;
  static constexpr unsigned kOurPc = 1;
  std::vector<int> events;

 private:
  int fd_;
  struct ss7* ss7_;
};

// Our layer 3's answer to the peer's restart messages: the link test
// (SLTM, H0/H1 0x11) is acknowledged (SLTA, 0x21) and traffic restart allowed
// (TRA, 0x17) is returned; the label's point codes are swapped. Nothing for
// any other message.
std::optional<Bytes> Answer(const Bytes& message) {
  if (message.size() < 6) {
    return std::nullopt;
  }
  const unsigned service = message[0] & 0x0F;
  Bytes answer = message;
  if (service == 1 && message[5] == 0x11) {
    answer[5] = 0x21;
  } else if (service != 0 || message[5] != 0x17) {
    return std::nullopt;
  }
  // Q.704 2.2: [SLS:4|OPC:14|DPC:14], least significant octet first.
  const uint32_t label = message[1] | message[2] << 8 | message[3] << 16 | static_cast<uint32_t>(message[4]) << 24;
  const uint32_t swapped = (label & 0xF0000000) | (label & 0x3FFF) << 14 | (label >> 14 & 0x3FFF);
  for (int i = 0; i < 4; ++i) {
    answer[1 + i] = static_cast<uint8_t>(swapped >> (8 * i));
  }
  return answer;
}

TEST(Libss7Peer, AlignsAndCarriesTheRestartMessages) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  Fd ours(fds[0]);
  Libss7Peer peer(fds[1]);
  auto* slc = new SS7::SLC;
  test_support::LinkOwner owner(slc);
  SocketChannel channel(ours, slc);
  slc->hdlc = &channel;
  slc->local_activate();

  struct Ticker {
    void Tick() {
      peer->Serve();
      for (; answered < owner->messages.size(); ++answered) {
        if (const std::optional<Bytes> answer = Answer(owner->messages[answered])) {
          Packet packet;
          packet.reserve_head(3);
          packet.put(answer->data(), static_cast<unsigned>(answer->size()));
          slc->message(packet);
        }
      }
      if (peer->Saw(SS7_EVENT_UP) || std::chrono::steady_clock::now() > deadline) {
        multiplexer.terminate();
        return;
      }
      timer.set(2, &Ticker::Tick, this);
    }
    Libss7Peer* peer = nullptr;
    SS7::SLC* slc = nullptr;
    test_support::LinkOwner* owner = nullptr;
    std::chrono::steady_clock::time_point deadline;
    size_t answered = 0;
    Timer timer;
  } ticker;
  ticker.peer = &peer;
  ticker.slc = slc;
  ticker.owner = &owner;
  ticker.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  ticker.Tick();
  multiplexer.run(false, true);

  EXPECT_TRUE(peer.Saw(MTP2_LINK_UP));
  EXPECT_EQ(slc->get_state_id(), SS7::SLC::State::worked);
  EXPECT_TRUE(peer.Saw(SS7_EVENT_UP)) << "the peer's restart did not complete";
  EXPECT_EQ(slc->statistics().badSeq, 0u);
}

}  // namespace
