#pragma once

#include <string>

// What an SNMP agent link tells its owner: the link to the agent named name
// came up, so the owner can bring the agent up to date.
class ISnmpAgentNotify {
 public:
  virtual ~ISnmpAgentNotify() = default;
  virtual void OnSnmpAgentConnect(const std::string& /*name*/) {}
};
