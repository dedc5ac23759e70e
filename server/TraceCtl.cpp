#include "server/TraceCtl.h"

#include "runtime/config/IniFileReader.h"
#include "runtime/log/TraceFlags.h"

#include <iostream>

namespace TraceCtl {

void Configure(const IniFile::Section& section) {
  for (IniFile::SubSection& sub_section : section) {
    Configure(sub_section);
  }
}

void Configure(IniFile::SubSection& sub_section) {
  traces = TraceFlags{};
  IniFile::Reader reader("traces: ", std::cerr);
  reader.optional.add(&traces.signalling.hdlc, "signalling.hdlc");
  reader.optional.add(&traces.signalling.lemzgw, "signalling.lemzgw");
  reader.optional.add(&traces.signalling.events, "signalling.events");
  reader.optional.add(&traces.signalling.isdn, "signalling.isdn");
  reader.optional.add(&traces.monitoring.internal, "monitoring.internal");
  // Only optional keys: the subsection is always usable, faults are reported.
  (void)reader.parse(sub_section);
}

}  // namespace TraceCtl
