#include "hardware/RtpRecordPrinters.h"

#include <initializer_list>
#include <utility>

namespace {

// The block form: the name, "{", a line per field, "}", each line indented.
std::ostream& PutBlock(std::ostream& os, const char* name,
                       std::initializer_list<std::pair<const char*, long long>> fields) {
  os << "  " << name << std::endl << "  {" << std::endl;
  for (const auto& field : fields) {
    os << "  " << field.first << field.second << std::endl;
  }
  return os << "  }" << std::endl;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const rtp_connection_params& params) {
  return PutBlock(os, "rtp_connection_params",
                  {{" packet_factor = ", params.packet_factor},
                   {" rx_pt = ", params.rx_pt},
                   {" tx_pt = ", params.tx_pt},
                   {" ssrc = ", params.ssrc}});
}

std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& params) {
  return PutBlock(os, "rtp_attach_session_params", {{" fd_rtp = ", params.fd_rtp}, {" pid_rtp = ", params.pid_rtp}});
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& params) {
  return PutBlock(os, "rtp_ext_attach_session_params",
                  {{" fd_rtp = ", params.fd_rtp}, {" pid_rtp = ", params.pid_rtp}});
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& params) {
  return PutBlock(os, "rtp_ext_init_params", {{" etype = ", params.etype}});
}

std::ostream& operator<<(std::ostream& os, const rtp_channel_info& info) {
  return os << "rtp_channel_info {"
            << " tdm=" << info.tdm << " dev_no=" << info.dev_no << " chn=" << info.chn << " }";
}
