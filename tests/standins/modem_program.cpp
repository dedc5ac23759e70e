// Stands in for the modem slots' child programs (pppd, the fax sender and
// receiver) in tests. It appends its argv and environment to
// $GATEWAY_ROOT/<program name>.log and acts out the scenario in
// <PROGRAM NAME>_SCENARIO (PPPD_SCENARIO, FAX_SCENARIO):
//   wait (default)  wait for SIGHUP, then exit 0
//   ignore-hup      deaf to SIGHUP, wait until killed
//   exit:N          exit with code N (a fax sender's page count)
//   signal:N        die by signal N
//   receive         write a page to the file named by the last argument, then wait
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

void OnHangUp(int) {
  _exit(0);
}

void Record(const std::string& name, int argc, char** argv) {
  const char* root = std::getenv("GATEWAY_ROOT");
  FILE* log = std::fopen((std::string(root != nullptr ? root : ".") + "/" + name + ".log").c_str(), "a");
  if (log == nullptr) {
    return;
  }
  for (int i = 0; i < argc; ++i) {
    std::fprintf(log, "argv[%d]=%s\n", i, argv[i]);
  }
  for (char** variable = environ; *variable != nullptr; ++variable) {
    std::fprintf(log, "env %s\n", *variable);
  }
  std::fprintf(log, "pid=%d\n", static_cast<int>(getpid()));
  std::fclose(log);
}

}  // namespace

int main(int argc, char** argv) {
  const char* slash = std::strrchr(argv[0], '/');
  const std::string name = slash != nullptr ? slash + 1 : argv[0];
  std::string variable;
  for (char c : name) {
    variable += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  const char* chosen = std::getenv((variable + "_SCENARIO").c_str());
  const std::string scenario = chosen != nullptr ? chosen : "wait";
  // Ready for the hang-up before the log shows it running.
  signal(SIGHUP, scenario == "ignore-hup" ? SIG_IGN : OnHangUp);
  Record(name, argc, argv);
  if (scenario.rfind("exit:", 0) == 0) {
    return std::atoi(scenario.c_str() + 5);
  }
  if (scenario.rfind("signal:", 0) == 0) {
    kill(getpid(), std::atoi(scenario.c_str() + 7));
  }
  if (scenario == "receive") {
    FILE* page = std::fopen(argv[argc - 1], "w");
    if (page != nullptr) {
      std::fputs("page 1\n", page);
      std::fclose(page);
    }
  }
  for (;;) {
    pause();
  }
}
