#pragma once

#include "runtime/loop/Event.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"
#include "runtime/transport/ControlService.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>

namespace Control {

// The listening side shared by the TCP and Unix acceptors; Base is the
// service of the socket family (ServiceNet or ServiceUnix). It serves one
// connection at a time: further attempts while one is live are accepted and
// closed at once, unless the live one's peer has already closed it; then they
// are served once its end is read. Every set-up failure of the listener is retried every
// 5000 ms until it listens or the service is deactivated, so a server never
// ends up without a listener while it believes it is waiting for a peer.
template <class Base>
class Acceptor : public Base {
 protected:
  Acceptor(const char* event_name, bool verbose) : Base(verbose) {
    listener_event_.Bind(event_name, &Acceptor::OnSocketEvent, this);
  }

  // Always true: a listener that cannot be set up yet is retried.
  bool ImplActivate() override {
    OpenListener();
    return true;
  }
  // Stops listening; a live connection is not touched.
  void ImplDeactivate() override {
    bind_timer_.reset();
    listener_event_.Release();
    listener_.close();
  }
  void ImplOnDisconnect() override {}
  // A further attempt was refused while a connection is live.
  virtual void ImplRefuseConnection() {}
  // fd is the socket just accepted, the subclass's to keep.
  virtual void ImplConnected(Fd) {}

  // The family's socket: a new close-on-exec stream socket, -1 with errno.
  virtual int CreateSocket() = 0;
  // Binds the listener to the family's address; the bind() result.
  virtual int BindListener(int fd) = 0;
  // That address, named after the bind failure's line.
  virtual std::string ListenAddress() const = 0;
  virtual typename Base::Peer PeerOf(const sockaddr_storage& address, socklen_t len) = 0;

  const Fd& listener() const { return listener_; }

  void BindSocket() {
    if (BindListener(listener_.get()) != 0) {
      if (this->verbose()) {
        const int error = errno;
        std::cerr << "can't bind to socket: \"" << std::strerror(error) << "\"  waiting... on " << ListenAddress()
                  << std::endl;
      }
      RetryLater();
      return;
    }
    if (listen(listener_.get(), 1) != 0) {
      FailListener("can't listen socket: ");
      return;
    }
    if (!listener_.NonBlock()) {
      FailListener("can't set socket to non block mode: ");
      return;
    }
    listener_event_.Schedule(listener_, POLLIN);
  }

  void OnTimeout(Timer*) {
    if (listener_) {
      BindSocket();
      return;
    }
    OpenListener();
  }

  void OnSocketEvent(int, short revents) {
    if ((revents & POLLIN) == 0) {
      return;
    }
    while (Accepting()) {
      // A peer that closed and dialled again at once: the end of its old
      // connection may not be read yet. The new one waits in the backlog
      // until the stream layer has read it, rather than being refused.
      if (this->state() == Base::State::Connected && this->PeerClosed()) {
        return;
      }
      sockaddr_storage address{};
      socklen_t len = sizeof address;
      Fd socket(accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &len, SOCK_CLOEXEC));
      if (!socket) {
        const int error = errno;
        if (error == EINTR || error == ECONNABORTED) {
          continue;
        }
        if (error != EAGAIN && error != EWOULDBLOCK) {
          PauseAccepting(error);
        }
        return;
      }
      Accepted(std::move(socket), PeerOf(address, len));
    }
  }

 private:
  void OpenListener() {
    listener_ = Fd(CreateSocket());
    if (!listener_) {
      if (this->verbose()) {
        std::cerr << "can't create socket:" << std::strerror(errno) << std::endl;
      }
      RetryLater();
      return;
    }
    BindSocket();
  }

  // A listener that bound but cannot listen starts again from a new socket.
  void FailListener(const char* what) {
    if (this->verbose()) {
      std::cerr << what << std::strerror(errno) << std::endl;
    }
    listener_.close();
    RetryLater();
  }

  void RetryLater() { bind_timer_.set(kRetryMs, &Acceptor::OnTimeout, this); }

  // Out of descriptors or kernel memory: the listener stays readable, and polling it now would spin the loop. It is
  // left alone until the retry; the peers wait in the backlog meanwhile.
  void PauseAccepting(int error) {
    if (this->verbose()) {
      std::cerr << "can't accept connection: " << std::strerror(error) << "  waiting..." << std::endl;
    }
    listener_event_.Release();
    bind_timer_.set(kRetryMs, &Acceptor::ResumeAccepting, this);
  }
  void ResumeAccepting(Timer*) { listener_event_.Schedule(listener_, POLLIN); }

  // While the last connection is still being torn down, the next one stays in
  // the backlog: it is taken once the service is back to Connecting. A
  // deactivation from a callback of this loop (OnConnect) has closed the
  // listener, and accepting on it would only fail.
  bool Accepting() const { return listener_ && this->state() != Base::State::Deactivating; }

  // The subclass gets the accepted socket itself, not a duplicate that could
  // fail when descriptors run short while the connection is already served.
  void Accepted(Fd socket, const typename Base::Peer& peer) {
    if (this->state() == Base::State::Connected) {
      if (this->verbose()) {
        std::cerr << "refuse connection from " << Base::PeerText(peer) << std::endl;
      }
      ImplRefuseConnection();
      return;
    }
    if (!socket.NonBlock()) {
      if (this->verbose()) {
        std::cerr << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
      }
      return;
    }
    if (this->verbose()) {
      std::cout << "new connection from " << Base::PeerText(peer) << std::endl;
    }
    this->Connected(socket, peer);
    ImplConnected(std::move(socket));
  }

  static constexpr unsigned kRetryMs = 5000;

  Fd listener_;
  Timer bind_timer_;
  Event listener_event_;
};

}  // namespace Control
