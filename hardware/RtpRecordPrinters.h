#pragma once

#include "platform/RtpRecords.h"

#include <ostream>

// The RTP and RTP-extension device records as readable text, for traces.
std::ostream& operator<<(std::ostream& os, const rtp_connection_params& params);
std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& params);
std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& params);
std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& params);
// On one line, without an end of line.
std::ostream& operator<<(std::ostream& os, const rtp_channel_info& info);
