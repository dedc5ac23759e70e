#include "monitoring/MonitoringDataHolder.h"

#include "BoardRootFixture.h"
#include "monitoring/MonitoringFiles.h"
#include "runtime/log/TraceFlags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <iostream>
#include <map>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Interface = sim::NetInterfacesDriver::Interface;

constexpr const char* kSelfDir = "/var/monitoring/controller/192.168.0.10";

// The temporary file of a directory, given as the board's path of the directory.
std::string Temporary(const std::string& directory) {
  return directory + MonitoringFiles::kTemporaryName;
}

LGCP::DisplayParams Board(int position, const std::string& version) {
  LGCP::DisplayParams params;
  LGCP::BoardStatusParams& board = params.select_board().select_boardStatus();
  board.set_position(position);
  board.get_version().assign(version.begin(), version.end());
  board.set_status(LGCP::ExtBoardStatus::ready);
  board.set_type(LGCP::ExtBoardType::fxs);
  return params;
}

LGCP::DisplayParams Phone(int id) {
  LGCP::DisplayParams params;
  LGCP::EmPhoneStatusParams& phone = params.select_emPhone().select_phoneStatus();
  phone.set_id(id);
  phone.get_panelSV().assign({'p', '1'});
  phone.get_ctrlSV().assign({'c', '1'});
  phone.get_fpgaSV().assign({'f', '1'});
  phone.set_status(LGCP::EmPhoneStatus::ready);
  phone.set_powerStatus(LGCP::POWERStatus::both);
  phone.set_mode(LGCP::EmPhoneMode::active);
  phone.set_hookStatus(LGCP::EmPhoneConnectionStatus::connected);
  phone.set_baseStatus(LGCP::EmPhoneConnectionStatus::disconnected);
  return params;
}

LGCP::DisplayParams Counter(LGCP::TermCounterOwner::NamedNumber owner, int owner_id, int count) {
  LGCP::DisplayParams params;
  LGCP::TermCounter& counter = params.select_termCounter();
  counter.set_owner(owner);
  if (owner_id >= 0) {
    counter.include_ownerId().setValue(owner_id);
  }
  counter.set_cnt(count);
  return params;
}

LGCP::ControllerInfo Controller(const std::string& address, HSP::ControllerStatus::NamedNumber status) {
  LGCP::ControllerInfo report;
  report.get_host().set_iaddr(address);
  report.set_status(status);
  return report;
}

LGCP::DisplayParams SnmpSet(const std::string& section, int index, const std::string& name, const std::string& value) {
  LGCP::DisplayParams params;
  MON::SnmpSetCommand command;
  command.set_uniq(1);
  MON::IniName& ini_name = command.get_id().select_name();
  ini_name.set_section(section);
  ini_name.set_index(index);
  ini_name.set_name(name);
  command.set_value(value);
  params.select_snmp_set().get_commands().push_back(command);
  return params;
}

class MonitoringDataHolderTest : public BoardRootFixture {
 protected:
  // Every entry below "/var/monitoring/" by its path there: a file's content,
  // a link's target after "-> "; each directory must have the readers' mode.
  std::map<std::string, std::string> Listing() const {
    std::map<std::string, std::string> entries;
    const fs::path base = Host("/var/monitoring");
    ExpectReadersMode(base);
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      const std::string name = entry.path().lexically_relative(base).string();
      if (entry.is_symlink()) {
        entries[name] = "-> " + fs::read_symlink(entry.path()).string();
      } else if (entry.is_directory()) {
        ExpectReadersMode(entry.path());
      } else {
        entries[name] = ReadFile("/var/monitoring/" + name);
      }
    }
    return entries;
  }

  static void ExpectReadersMode(const fs::path& directory) {
    const mode_t mask = umask(0);
    umask(mask);
    struct stat status {};
    EXPECT_EQ(stat(directory.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u & ~mask) << directory;
  }
};

TEST_F(MonitoringDataHolderTest, StartsFromBoard) {
  WriteFile("/proc/driver/hdlc/peb22554/0", "");
  WriteFile("/proc/driver/hdlc/peb22554/2", "");
  WriteFile("/var/monitoring/dip", "5");
  WriteFile("/var/monitoring/term_cnts/router", "4");
  WriteFile(Temporary("/var/monitoring/term_cnts/"), "4");
  WriteFile(Temporary("/var/monitoring/agent/1/"), "x");
  WriteFile(Temporary("/var/monitoring/") + "/1/x", "x");
  WriteFile("/var/monitoring/agent/1/contact", "admin");
  // Sections an earlier run made in the server's places.
  WriteFile("/var/monitoring/powerstatus/1/x", "x");
  WriteFile("/var/monitoring/board1/1/x", "x");
  WriteFile("/var/monitoring/emphone-2/1/x", "x");
  // A section whose name merely begins like a server file is the controller's.
  WriteFile("/var/monitoring/boardTable/1/x", "x");
  fs::create_directories(Host("/var/monitoring/empty"));
  Interfaces().Set(5, Interface{"hdlc0", false, 0});
  Interfaces().Set(6, Interface{"eth1", true, 0x0A000005});
  {
    MonitoringDataHolder holder;
    EXPECT_EQ(holder.selfAddress.GetString(), "192.168.0.10:0");
    std::vector<std::pair<int, std::string>> framers;
    for (const FramerDataHolder& framer : holder.framers) {
      framers.emplace_back(framer.number, framer.path);
    }
    EXPECT_EQ(framers, (std::vector<std::pair<int, std::string>>{{1, "/proc/driver/hdlc/peb22554/0"},
                                                                 {3, "/proc/driver/hdlc/peb22554/2"}}));
    std::vector<std::pair<int, std::string>> links;
    for (const NetIfDataHolder& link : holder.netIfs) {
      links.emplace_back(link.ifIndex, link.name);
      EXPECT_EQ(link.linkUp, -1);
    }
    EXPECT_EQ(links, (std::vector<std::pair<int, std::string>>{{1, "lo"}, {2, "eth0"}, {5, "hdlc0"}, {6, "eth1"}}));
    // The old top level goes, files in subdirectories stay, leftovers and
    // whatever stood in the server's places go.
    const std::map<std::string, std::string> kept{
        {"term_cnts/router", "4"}, {"agent/1/contact", "admin"}, {"boardTable/1/x", "x"}};
    EXPECT_EQ(Listing(), kept);
    EXPECT_FALSE(fs::exists(Host("/var/monitoring/board1")));
    EXPECT_EQ(holder.setDipValue(7), 1);
    EXPECT_EQ(holder.setPowerStatus(LGCP::POWERStatus::main), 1);
    EXPECT_EQ(ReadFile("/var/monitoring/powerstatus"), "2");
    holder.setDisplayStatus(Board(1, "1.0"));
    holder.setDisplayStatus(Phone(-2));
    EXPECT_EQ(ReadFile("/var/monitoring/board1"), "3\n1.0\n2\n");
    EXPECT_EQ(ReadFile("/var/monitoring/emphone-2"), "p1\nc1\nf1\n2\n3\n1\n1\n2\n");
  }
  EXPECT_EQ(Listing(), (std::map<std::string, std::string>{
                           {"term_cnts/router", "4"}, {"agent/1/contact", "admin"}, {"boardTable/1/x", "x"}}));

  // Without a private address the board is 127.0.0.1.
  Interfaces().Set(2, Interface{"eth0", true, 0xA9FE0101});
  Interfaces().Set(6, Interface{});
  MonitoringDataHolder holder;
  EXPECT_EQ(holder.selfAddress.GetString(), "127.0.0.1:0");
}

TEST_F(MonitoringDataHolderTest, MirrorsReportsIntoFiles) {
  MonitoringDataHolder holder;
  using Files = std::map<std::string, std::string>;
  const std::string self_link = "-> " + Host(kSelfDir);
  // Each row acts on the one holder; results of -1 are operations without one.
  const struct {
    const char* name;
    std::function<int(MonitoringDataHolder&)> act;
    int result;
    Files files;  // what changes in the listing; "" removes
  } kSteps[] = {
      {"dip", [](auto& h) { return h.setDipValue(7); }, 1, {{"dip", "7"}}},
      {"same dip", [](auto& h) { return h.setDipValue(7); }, 0, {}},
      {"power unknown", [](auto& h) { return h.setPowerStatus(LGCP::POWERStatus::unknown); }, 0, {}},
      {"power main", [](auto& h) { return h.setPowerStatus(LGCP::POWERStatus::main); }, 1, {{"powerstatus", "2"}}},
      {"config version",
       [](auto& h) { return h.setConfigVersion(0x1A2B, 5); },
       1,
       {{"config_version", "00001a2b-0000000000000005"}}},
      {"temperature", [](auto& h) { return h.setTemperature("40"); }, 1, {}},
      {"temperature longer", [](auto& h) { return h.setTemperature("40 "); }, 1, {}},
      {"board", [](auto& h) { return h.setDisplayStatus(Board(2, "1.4")), -1; }, -1, {{"board2", "3\n1.4\n2\n"}}},
      {"board again", [](auto& h) { return h.setDisplayStatus(Board(2, "1.5")), -1; }, -1, {{"board2", "3\n1.5\n2\n"}}},
      {"board channel",
       [](auto& h) {
         LGCP::DisplayParams params;
         params.select_board().select_boardChannelStatus();
         return h.setDisplayStatus(params), -1;
       },
       -1,
       {}},
      {"emPhone",
       [](auto& h) { return h.setDisplayStatus(Phone(7)), -1; },
       -1,
       {{"emphone7", "p1\nc1\nf1\n2\n3\n1\n1\n2\n"}}},
      {"router counter",
       [](auto& h) { return h.setDisplayStatus(Counter(LGCP::TermCounterOwner::router, -1, 5)), -1; },
       -1,
       {{"term_cnts/router", "5"}}},
      {"router counter again",
       [](auto& h) { return h.setDisplayStatus(Counter(LGCP::TermCounterOwner::router, -1, 6)), -1; },
       -1,
       {{"term_cnts/router", "6"}}},
      {"board counter without owner",
       [](auto& h) { return h.setDisplayStatus(Counter(LGCP::TermCounterOwner::extBoard, -1, 1)), -1; },
       -1,
       {}},
      {"board counter 12",
       [](auto& h) { return h.setDisplayStatus(Counter(LGCP::TermCounterOwner::extBoard, 12, 9)), -1; },
       -1,
       {{"term_cnts/board12", "9"}}},
      {"own controller",
       [](auto& h) { return h.setControllerStatus(Controller("192.168.0.10", HSP::ControllerStatus::ok)); },
       1,
       {{"controller/192.168.0.10/status", "1"}, {"controller/self", self_link}}},
      {"own controller unchanged",
       [](auto& h) { return h.setControllerStatus(Controller("192.168.0.10", HSP::ControllerStatus::ok)); },
       0,
       {}},
      {"other controller",
       [](auto& h) { return h.setControllerStatus(Controller("10.1.1.1", HSP::ControllerStatus::standby)); },
       0,
       {{"controller/10.1.1.1/status", "3"}}},
      {"controller in a display",
       [](auto& h) {
         LGCP::DisplayParams params;
         params.select_controller() = Controller("10.1.1.1", HSP::ControllerStatus::active);
         return h.setDisplayStatus(params), -1;
       },
       -1,
       {{"controller/10.1.1.1/status", "2"}}},
      {"snmp-set",
       [](auto& h) { return h.setDisplayStatus(SnmpSet("agent", 1, "contact", "admin")), -1; },
       -1,
       {{"agent/1/contact", "admin"}}},
      {"snmp-set named like a temporary file",
       [](auto& h) { return h.setDisplayStatus(SnmpSet("agent", 1, ".tmp-contact", "kept")), -1; },
       -1,
       {{"agent/1/.tmp-contact", "kept"}}},
      {"snmp-set again",
       [](auto& h) { return h.setDisplayStatus(SnmpSet("agent", 1, "contact", "root")), -1; },
       -1,
       {{"agent/1/contact", "root"}}},
      {"controller gone", [](auto& h) { return h.ClearControllerFiles(), -1; }, -1, {{"board2", ""}}},
  };
  Files expected;
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(step.act(holder), step.result);
    for (const auto& file : step.files) {
      if (file.second.empty()) {
        expected.erase(file.first);
      } else {
        expected[file.first] = file.second;
      }
    }
    EXPECT_EQ(Listing(), expected);
  }
  EXPECT_TRUE(holder.boards.empty());
  ASSERT_EQ(holder.emPhones.size(), 1u);
  EXPECT_EQ(holder.selfControllerStatus.getValue(), HSP::ControllerStatus::ok);
  EXPECT_EQ(holder.controllers.size(), 2u);
  EXPECT_EQ(holder.temperature, "40 ");
  // router 6, and the extBoard counter without an owner took the count of 12.
  ASSERT_EQ(holder.termCounters.size(), 2u);
  EXPECT_EQ(holder.termCounters.front().get_cnt().getValue(), 6);
  EXPECT_EQ(holder.termCounters.back().get_cnt().getValue(), 9);
  ASSERT_EQ(holder.snmpSetCommands.get_commands().size(), 2u);
  EXPECT_EQ(std::string(holder.snmpSetCommands.get_commands().begin()->get_value()), "root");
}

// The values the reports above never carry.
TEST_F(MonitoringDataHolderTest, SaversGiveEachFileItsContents) {
  MonitoringDataHolder holder;
  // Before the first reading, and a power value the schema does not know.
  EXPECT_EQ(holder.DipStatusSaver(), "-1");
  EXPECT_EQ(holder.ConfigVersionSaver(), "ffffffff-ffffffffffffffff");
  holder.boardPowerStatus.setValue(9);
  EXPECT_EQ(holder.PowerStatusSaver(), "0");
  holder.boardPowerStatus.setValue(-1);
  EXPECT_EQ(holder.PowerStatusSaver(), "0");

  LGCP::BoardStatusParams board = Board(-3, "").get_board().get_boardStatus();
  board.set_status(LGCP::ExtBoardStatus::none);
  EXPECT_EQ(MonitoringDataHolder::BoardStatusSaver(board), "0\n\n2\n");
  LGCP::EmPhoneStatusParams phone = Phone(0).get_emPhone().get_phoneStatus();
  phone.get_ctrlSV().assign({'a', ' ', 'b'});
  EXPECT_EQ(MonitoringDataHolder::PhoneStatusSaver(phone), "p1\na b\nf1\n2\n3\n1\n1\n2\n");
  HSP::ControllerStatus status;
  status.setValue(HSP::ControllerStatus::notrun);
  EXPECT_EQ(MonitoringDataHolder::ControllerStatusSaver(status), "5");
  EXPECT_EQ(MonitoringDataHolder::TermCounterSaver(-12), "-12");
  EXPECT_EQ(MonitoringDataHolder::StringParamSaver("a\nb "), "a\nb ");
  EXPECT_EQ(MonitoringDataHolder::BoardChannelStatusSaver(), "");
}

TEST_F(MonitoringDataHolderTest, KeepsRecordsWhenFileFails) {
  MonitoringDataHolder holder;
  // A directory in the way of the temporary file makes every write of it fail.
  fs::create_directories(Host(Temporary("/var/monitoring/")));
  fs::remove(Host("/var/monitoring/term_cnts"));
  testing::internal::CaptureStderr();
  holder.setDisplayStatus(Board(3, "2.0"));
  holder.setDisplayStatus(Phone(4));
  holder.setDisplayStatus(Counter(LGCP::TermCounterOwner::router, -1, 5));
  // Each line names the file the report is for, never the temporary.
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FAIL create temporary file </var/monitoring/board3> with code=" + std::to_string(EEXIST) +
                "\nFAIL create temporary file </var/monitoring/emphone4> with code=" + std::to_string(EEXIST) +
                "\nFAIL create temporary file </var/monitoring/term_cnts/router> with code=" + std::to_string(ENOENT) +
                "\n");
  EXPECT_EQ(holder.boards.size(), 1u);
  EXPECT_EQ(holder.emPhones.size(), 1u);
  EXPECT_EQ(ReadFile("/var/monitoring/board3"), "<missing>");
}

TEST_F(MonitoringDataHolderTest, LogsNoControlByteOfAnEntryName) {
  MonitoringDataHolder holder;
  WriteFile("/var/monitoring/board\x1b[2J", "x");
  traces.monitoring.internal = true;
  testing::internal::CaptureStderr();
  holder.ClearControllerFiles();
  const std::string log = testing::internal::GetCapturedStderr();
  traces.monitoring.internal = false;
  EXPECT_EQ(log, "remove monitoring info: board\\x1b[2J\n");
  EXPECT_EQ(Listing(), (std::map<std::string, std::string>{}));
}

TEST_F(MonitoringDataHolderTest, PointsSelfLinkAtOwnAddress) {
  const std::string link = Host("/var/monitoring/controller/self");
  const struct {
    const char* name;
    std::function<void()> before;
  } kCases[] = {
      {"fresh", [] {}},
      {"directory left from an earlier run", [this] { fs::create_directories(Host(kSelfDir)); }},
      {"link to an old address",
       [this, &link] {
         fs::create_directories(Host("/var/monitoring/controller/10.9.9.9"));
         fs::create_directory_symlink(Host("/var/monitoring/controller/10.9.9.9"), link);
       }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Host("/var/monitoring"));
    fs::create_directories(Host("/var/monitoring/controller"));
    c.before();
    MonitoringDataHolder holder;
    EXPECT_EQ(holder.setControllerStatus(Controller("192.168.0.10", HSP::ControllerStatus::ok)), 1);
    EXPECT_EQ(fs::read_symlink(link), Host(kSelfDir));
    EXPECT_EQ(ReadFile("/var/monitoring/controller/self/status"), "1");
    // A correct link is left as it is.
    struct stat first {};
    struct stat second {};
    ASSERT_EQ(lstat(link.c_str(), &first), 0);
    EXPECT_EQ(holder.setControllerStatus(Controller("192.168.0.10", HSP::ControllerStatus::active)), 1);
    EXPECT_EQ(holder.setControllerStatus(Controller("10.1.1.1", HSP::ControllerStatus::active)), 0);
    ASSERT_EQ(lstat(link.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
  }
}

TEST_F(MonitoringDataHolderTest, RefusesUnsafeSnmpSetNames) {
  MonitoringDataHolder holder;
  const struct {
    const char* section;
    const char* name;
    const char* log;
  } kCases[] = {
      {"..", "x", "refused snmp-set name ../1/x\n"},
      {"agent", "..", "refused snmp-set name agent/1/..\n"},
      {".", "x", "refused snmp-set name ./1/x\n"},
      {"", "x", "refused snmp-set name /1/x\n"},
      {"agent", "", "refused snmp-set name agent/1/\n"},
      {"a/b", "x", "refused snmp-set name a/b/1/x\n"},
      {"agent", "../../../../etc/passwd", "refused snmp-set name agent/1/../../../../etc/passwd\n"},
      {"agent", "x\ny", "refused snmp-set name agent/1/x\\x0ay\n"},
      // The server's own entries, and the places of its numbered files.
      {"dip", "x", "refused snmp-set name dip/1/x\n"},
      {"powerstatus", "x", "refused snmp-set name powerstatus/1/x\n"},
      {"config_version", "x", "refused snmp-set name config_version/1/x\n"},
      {"term_cnts", "x", "refused snmp-set name term_cnts/1/x\n"},
      {"controller", "x", "refused snmp-set name controller/1/x\n"},
      {"board1", "x", "refused snmp-set name board1/1/x\n"},
      {"board-3", "x", "refused snmp-set name board-3/1/x\n"},
      {"emphone12", "x", "refused snmp-set name emphone12/1/x\n"},
      {"emphone-1", "x", "refused snmp-set name emphone-1/1/x\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.log);
    testing::internal::CaptureStderr();
    holder.setDisplayStatus(SnmpSet(c.section, 1, c.name, "v"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.log);
  }
  // Nothing written anywhere, everything held for the agents.
  EXPECT_EQ(Listing(), (std::map<std::string, std::string>{}));
  EXPECT_FALSE(fs::exists(Host("/var/1")));
  EXPECT_EQ(holder.snmpSetCommands.get_commands().size(), std::size(kCases));
  // The server's files are still written; names beside them are the controller's.
  EXPECT_EQ(holder.setDipValue(3), 1);
  holder.setDisplayStatus(Board(1, "1.0"));
  holder.setDisplayStatus(SnmpSet("emphone", 1, "x", "v"));
  holder.setDisplayStatus(SnmpSet("emphone1x", 1, "x", "v"));
  holder.setDisplayStatus(SnmpSet("dips", 1, "x", "v"));
  // Numbers the server never writes so: no leading zero, no "-0".
  holder.setDisplayStatus(SnmpSet("boards", 1, "x", "v"));
  holder.setDisplayStatus(SnmpSet("board01", 1, "x", "v"));
  holder.setDisplayStatus(SnmpSet("emphone-0", 1, "x", "v"));
  EXPECT_EQ(Listing(), (std::map<std::string, std::string>{{"dip", "3"},
                                                           {"board1", "3\n1.0\n2\n"},
                                                           {"emphone/1/x", "v"},
                                                           {"emphone1x/1/x", "v"},
                                                           {"dips/1/x", "v"},
                                                           {"boards/1/x", "v"},
                                                           {"board01/1/x", "v"},
                                                           {"emphone-0/1/x", "v"}}));
}

// A link below "/var/monitoring/" (left from an earlier run, or put there
// since) never leads a write or a removal outside: the folder it points to
// keeps exactly what it held.
TEST_F(MonitoringDataHolderTest, FollowsNoLinkOutOfTheFolder) {
  const struct {
    const char* name;
    const char* link;
    const char* target;
    bool before_start;
    std::function<void(MonitoringDataHolder&)> act;
  } kCases[] = {
      {"index directory of a kept section", "/var/monitoring/agent/1", "/outside", true,
       [](auto& h) { h.setDisplayStatus(SnmpSet("agent", 1, "keep", "v")); }},
      {"section made a link after start", "/var/monitoring/agent", "/outside", false,
       [](auto& h) { h.setDisplayStatus(SnmpSet("agent", 1, "keep", "v")); }},
      {"directory of a controller's address", "/var/monitoring/controller/10.1.1.1", "/outside", true,
       [](auto& h) { (void)h.setControllerStatus(Controller("10.1.1.1", HSP::ControllerStatus::ok)); }},
      {"temporary name", "/var/monitoring/.tmp\x7f", "/outside/keep", false, [](auto& h) { (void)h.setDipValue(7); }},
      {"server's place at start", "/var/monitoring/dip", "/outside", true, [](auto&) {}},
      {"below a server's place at start", "/var/monitoring/board1/1", "/outside", true, [](auto&) {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Host("/var/monitoring"));
    fs::remove_all(Host("/outside"));
    WriteFile("/outside/keep", "keep");
    const auto make_link = [&] {
      fs::create_directories(fs::path(Host(c.link)).parent_path());
      fs::create_symlink(Host(c.target), Host(c.link));
    };
    if (c.before_start) {
      make_link();
    }
    testing::internal::CaptureStderr();
    {
      MonitoringDataHolder holder;
      if (!c.before_start) {
        make_link();
      }
      c.act(holder);
    }
    (void)testing::internal::GetCapturedStderr();
    std::vector<std::string> outside;
    for (const auto& entry : fs::recursive_directory_iterator(Host("/outside"))) {
      outside.push_back(entry.path().lexically_relative(Host("/outside")).string());
    }
    EXPECT_EQ(outside, std::vector<std::string>{"keep"});
    EXPECT_EQ(ReadFile("/outside/keep"), "keep");
  }
}

TEST(MonitoringAddresses, HostTextAndDottedQuadLeaveOutThePort) {
  TERM::HostAddress host;
  host.set_iaddr("10.1.2.3");
  host.set_port(7000);
  EXPECT_EQ(host2str(host), "10.1.2.3");
  INet4::Addr address;
  ASSERT_TRUE(address.Assign("10.1.2.3:7000"));
  EXPECT_EQ(DottedAddress(address), "10.1.2.3");
}

TEST_F(MonitoringDataHolderTest, ReaderNeverSeesPartialFile) {
  MonitoringDataHolder holder;
  const std::string path = Host("/var/monitoring/dip");
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    char buffer[64];
    while (!done) {
      const int fd = open(path.c_str(), O_RDONLY);
      if (fd < 0) {
        continue;  // before the first write
      }
      const ssize_t size = read(fd, buffer, sizeof buffer);
      close(fd);
      ++reads;
      const std::string content(buffer, size > 0 ? static_cast<size_t>(size) : 0);
      if (content != "123456789" && content != "5") {
        ++bad;
      }
    }
  });
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(holder.setDipValue(i % 2 == 0 ? 123456789 : 5), 1);
  }
  done = true;
  reader.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(ReadFile("/var/monitoring/dip"), "5");
  EXPECT_GT(reads, 0);
}

}  // namespace
