#pragma once

#include "runtime/config/IniFile.h"

// Sets the process-wide trace flags from the configuration's "traces" section.
namespace TraceCtl {

// Applies each appearance of the section in file order, so the last one alone
// counts.
void Configure(const IniFile::Section& section);
// Clears all five flags, then sets those the appearance gives; faulty keys are
// reported on the error stream and leave their flag cleared.
void Configure(IniFile::SubSection& sub_section);

}  // namespace TraceCtl
