#include "monitoring/SnmpAgentCtrl.h"

#include "monitoring/ISnmpAgentNotify.h"
#include "monitoring/SnmpAgentInstance.h"
#include "schemas/MON.h"

#include <limits>

namespace {

using Item = SnmpAgentCtrl::MonitoringItem;

// In table order, which is the search order.
constexpr Item kItems[] = {
    {SnmpAgentCtrl::driverBuild, 6, "gatewayCommon", "driverBuild"},
    {SnmpAgentCtrl::softwareBuild, 6, "gatewayCommon", "softwareBuild"},
    {SnmpAgentCtrl::powerStatus, 6, "gatewayCommon", "powerStatus"},
    {SnmpAgentCtrl::controllerStatus, 6, "gatewayCommon", "controllerStatus"},
    {SnmpAgentCtrl::gatewayDip, 6, "gatewayCommon", "gatewayDip"},
    {SnmpAgentCtrl::gatewayConfigVersion, 6, "gatewayCommon", "gatewayConfigVersion"},
    {SnmpAgentCtrl::extBoardStatus, 2, "extBoardTable", "extBoardStatus"},
    {SnmpAgentCtrl::extBoardSoftVer, 2, "extBoardTable", "extBoardSoftVer"},
    {SnmpAgentCtrl::extBoardType, 2, "extBoardTable", "extBoardType"},
    {SnmpAgentCtrl::emPhonePanelSoftVer, 2, "emPhoneTable", "emPhonePanelSoftVer"},
    {SnmpAgentCtrl::emPhoneCtrlSoftVer, 2, "emPhoneTable", "emPhoneCtrlSoftVer"},
    {SnmpAgentCtrl::emPhoneFpgaSoftVer, 2, "emPhoneTable", "emPhoneFpgaSoftVer"},
    {SnmpAgentCtrl::emPhoneStatus, 2, "emPhoneTable", "emPhoneStatus"},
    {SnmpAgentCtrl::emPhonePowerStatus, 2, "emPhoneTable", "emPhonePowerStatus"},
    {SnmpAgentCtrl::emPhoneMode, 2, "emPhoneTable", "emPhoneMode"},
    {SnmpAgentCtrl::emPhoneHookStatus, 2, "emPhoneTable", "emPhoneHookStatus"},
    {SnmpAgentCtrl::emPhoneBaseStatus, 2, "emPhoneTable", "emPhoneBaseStatus"},
    {SnmpAgentCtrl::routerTermCnt, 6, "gatewayTermCounters", "routerTermCnt"},
    {SnmpAgentCtrl::controllerTermCnt, 6, "gatewayTermCounters", "controllerTermCnt"},
    {SnmpAgentCtrl::serverTermCnt, 6, "gatewayTermCounters", "serverTermCnt"},
    {SnmpAgentCtrl::extBoardTermCnt, 2, "extBoardTermCntTable", "extBoardTermCnt"},
    {SnmpAgentCtrl::e1Connected, 2, "e1Table", "e1Connected"},
    {SnmpAgentCtrl::e1StatusDsc, 2, "e1Table", "e1StatusDsc"},
    {SnmpAgentCtrl::e1SignalLoss, 2, "e1Table", "e1SignalLoss"},
    {SnmpAgentCtrl::e1FrameAlignLoss, 2, "e1Table", "e1FrameAlignLoss"},
    {SnmpAgentCtrl::e1NegSlipCount, 2, "e1Table", "e1NegSlipCount"},
    {SnmpAgentCtrl::e1PosSlipCount, 2, "e1Table", "e1PosSlipCount"},
    {SnmpAgentCtrl::sgBuildVersion, 4, "statusGeneral", "sgBuildVersion"},
    {SnmpAgentCtrl::sgFPGAVersion, 4, "statusGeneral", "sgFPGAVersion"},
    {SnmpAgentCtrl::sgBootVersion, 4, "statusGeneral", "sgBootVersion"},
    {SnmpAgentCtrl::sgBoardVersion, 4, "statusGeneral", "sgBoardVersion"},
    {SnmpAgentCtrl::ifDescr, 6, "ifTable", "ifDescr"},
    {SnmpAgentCtrl::ifAdminStatus, 6, "ifTable", "ifAdminStatus"},
    {SnmpAgentCtrl::ifOperStatus, 6, "ifTable", "ifOperStatus"},
    {SnmpAgentCtrl::temperature, 2, "gatewayCommon", "temperature"},
};

// Aligned PER of one snmp-set command, beside its texts: the bit-field
// octets, the two INTEGERs in at most 5 octets each and three length
// determinants of at most 2 octets. A trap sink without a port: its bit-field
// octet and the host's length determinant. A message adds one octet of choice
// bits and the list's count.
constexpr size_t kCommandOverheadBytes = 18;
constexpr size_t kTrapsinkOverheadBytes = 3;
constexpr size_t kMessageOverheadBytes = 3;

// At least as many octets as the element takes in the encoded message.
size_t EncodedBound(const MON::SnmpSetCommand& command) {
  const MON::SnmpSetCommandId& id = command.get_id();
  const size_t id_bytes =
      id.is_oid() ? id.get_oid().size() : id.get_name().get_section().size() + id.get_name().get_name().size();
  return kCommandOverheadBytes + id_bytes + command.get_value().size();
}

size_t EncodedBound(const std::string& host) {
  return kTrapsinkOverheadBytes + host.size();
}

// Hands the elements to add in order and calls send after each part that
// reaches either limit of one message, and after the last.
template <typename Elements, typename Add, typename Send>
void InParts(const Elements& elements, Add add, Send send) {
  size_t count = 0;
  size_t bytes = kMessageOverheadBytes;
  for (const auto& element : elements) {
    const size_t element_bytes = EncodedBound(element);
    if (count > 0 &&
        (count == SnmpAgentCtrl::kMaxCommandsPerMessage || bytes + element_bytes > SnmpAgentCtrl::kMaxMessageBytes)) {
      send();
      count = 0;
      bytes = kMessageOverheadBytes;
    }
    add(element);
    ++count;
    bytes += element_bytes;
  }
  if (count > 0) {
    send();
  }
}

const Item* FindItem(SnmpAgentCtrl::MonitoringItemType type) {
  for (const Item& item : kItems) {
    if (item.type == type) {
      return &item;
    }
  }
  return nullptr;
}

}  // namespace

SnmpAgentCtrl::SnmpAgentCtrl() {
  for (int32_t key : {2, 4}) {
    queues_[key] = std::make_unique<MON::SnmpSetCommands>();
  }
  flush_call_.Bind(this, &SnmpAgentCtrl::OnDpcSend);
}

SnmpAgentCtrl::~SnmpAgentCtrl() = default;

void SnmpAgentCtrl::CreateInstances(IniFile::Section& section) {
  for (IniFile::SubSection& block : section) {
    links_.push_back(std::make_unique<SnmpAgentInstance>());
    links_.back()->Activate(block);
  }
}

void SnmpAgentCtrl::Bind(ISnmpAgentNotify* owner) {
  owner_ = owner;
  for (const auto& link : links_) {
    link->owner(owner);
  }
}

void SnmpAgentCtrl::UnBind() {
  Bind(nullptr);
}

void SnmpAgentCtrl::Send(MonitoringItemType type, const std::string& value) {
  Send(type, 0, value);
}

void SnmpAgentCtrl::Send(MonitoringItemType type, int32_t index, const std::string& value) {
  const Item* item = FindItem(type);
  if (item == nullptr) {
    return;
  }
  for (auto& [key, queue] : queues_) {
    if ((key & item->mask) == 0) {
      continue;
    }
    MON::SnmpSetCommand set;
    set.set_uniq(uniq_);
    uniq_ = NextUniq(uniq_);
    MON::IniName& name = set.get_id().select_name();
    name.set_section(item->group);
    name.set_name(item->name);
    name.set_index(index);
    set.set_value(value);
    queue->get_commands().push_back(set);
    flush_call_.Activate();
  }
}

int32_t SnmpAgentCtrl::NextUniq(int32_t uniq) {
  return uniq == std::numeric_limits<int32_t>::max() ? 1 : uniq + 1;
}

void SnmpAgentCtrl::Send(const MON::SnmpSetCommands& commands) {
  SendInParts(commands);
}

void SnmpAgentCtrl::SendTrapsink(const std::vector<std::string>& hosts) {
  MON::Command part;
  auto& trapsinks = part.select_snmp_trapsink_set().get_trapsinks();
  InParts(
      hosts,
      [&trapsinks](const std::string& host) {
        MON::SnmpTrapsink trapsink;
        trapsink.set_host(host);
        trapsinks.push_back(trapsink);
      },
      [this, &part, &trapsinks] {
        SendToLinks(part);
        trapsinks.clear();
      });
}

void SnmpAgentCtrl::OnDpcSend() {
  for (auto& entry : queues_) {
    SendInParts(*entry.second);
    entry.second->get_commands().clear();
  }
  flush_call_.Deactivate();
}

void SnmpAgentCtrl::SendInParts(const MON::SnmpSetCommands& commands) {
  MON::Command part;
  auto& list = part.select_snmp_set().get_commands();
  InParts(
      commands.get_commands(), [&list](const MON::SnmpSetCommand& command) { list.push_back(command); },
      [this, &part, &list] {
        SendToLinks(part);
        list.clear();
      });
}

void SnmpAgentCtrl::SendToLinks(const MON::Command& command) {
  for (const auto& link : links_) {
    link->Command(command);
  }
}
