#include "runtime/loop/Event.h"

#include <poll.h>

Event::~Event() {
  handler_.reset();
  Release();
}

void Event::Bind(Handler* handler) {
  handler_.reset(handler);
}

void Event::UnBind() {
  handler_.reset();
}

void Event::Schedule(const Fd& fd, short events) {
  if (fd_) {
    mux_detach();
  }
  if (&fd != &fd_ && fd.get() != fd_.get()) {
    fd_ = fd;
  }
  events_ = events;
  if (fd_) {
    mux_attach();
  }
}

void Event::Release() {
  if (!fd_) {
    return;
  }
  mux_detach();
  fd_.close();
}

void Event::shedule_event(pollfd& entry) {
  entry.fd = fd_.get();
  entry.events = events_;
  entry.revents = 0;
}

void Event::svc_event(short revents) {
  if ((revents & events_) != 0) {
    ++counter_;
  }
  if (handler_ != nullptr) {
    handler_->Invoke(fd_.get(), revents);
  }
}

std::string PollEventAsText(short events) {
  static const struct {
    short bit;
    const char* name;
  } kNames[] = {{POLLIN, "POLLIN"},         {POLLPRI, "POLLPRI"},       {POLLOUT, "POLLOUT"},
                {POLLERR, "POLLERR"},       {POLLHUP, "POLLHUP"},       {POLLNVAL, "POLLNVAL"},
                {POLLRDNORM, "POLLRDNORM"}, {POLLRDBAND, "POLLRDBAND"}, {POLLWRNORM, "POLLWRNORM"},
                {POLLWRBAND, "POLLWRBAND"}, {POLLMSG, "POLLMSG"}};
  std::string text;
  for (const auto& entry : kNames) {
    if ((events & entry.bit) == 0) {
      continue;
    }
    if (!text.empty()) {
      text += '|';
    }
    text += entry.name;
  }
  return text;
}
