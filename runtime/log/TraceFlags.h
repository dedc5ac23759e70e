#pragma once

// The trace switches of the configuration's "traces" section: each gates the
// trace output of one part of the server. Start-up sets them from the
// configuration file; all are off without one.
struct TraceFlags {
  struct {
    bool hdlc;
    bool lemzgw;
    bool events;
    bool isdn;
  } signalling;
  struct {
    bool internal;
  } monitoring;
};

// The process-wide flags, zeroed before main.
extern TraceFlags traces;
