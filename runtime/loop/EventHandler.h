#pragma once

#include "runtime/containers/F_dual_list.h"

#include <poll.h>

class Multiplexer;

// Everything the event loop polls. The loop keeps handlers in its intrusive
// lists, so registering and removing one never allocates.
class EventHandler : public F_dual_list_item<EventHandler> {
 public:
  EventHandler() = default;
  EventHandler(const EventHandler&) = delete;
  EventHandler& operator=(const EventHandler&) = delete;
  virtual ~EventHandler() = default;

  // Fills in the descriptor and the wanted events of the handler's poll entry
  // when it joins the poll; a handler whose descriptor or events change
  // detaches and attaches again.
  virtual void shedule_event(pollfd& entry) = 0;
  // Serves one poll result; called on every poll return, revents 0 included.
  virtual void svc_event(short revents) = 0;
  virtual const char* event_name() const { return "unknown"; }
  virtual bool is_named() const { return false; }

  void mux_attach();
  void mux_detach();
  void svc_event() { svc_event(revents_); }
  bool attached() const { return attached_; }

 private:
  friend class Multiplexer;

  bool attached_ = false;
  short revents_ = 0;
  // Which of the loop's lists holds the handler (null: none), and its entry in
  // the poll vector (-1: none, until it joins the active list).
  F_dual_list<EventHandler>* list_ = nullptr;
  int poll_index_ = -1;
};
