// Stands in for the T.38 program in tests. It appends what it was started
// with (arguments, standard input, open-files limit) to $GATEWAY_ROOT/t38.log,
// for an instance query too, and acts out the scenario in
// T38_SCENARIO:
//   echo (default)  copy what arrives on descriptor 0 back to it until SIGTERM
//   ignore-term     the same, deaf to SIGTERM
//   exit:N          exit with code N
//   signal:N        die by signal N
// With --num-of-instances it prints T38_INSTANCES (default 4), prints nothing
// for "none", or never answers for "hang".
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Env(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : otherwise;
}

int AnswerInstances() {
  const std::string answer = Env("T38_INSTANCES", "4");
  if (answer == "hang") {
    for (;;) {
      pause();
    }
  }
  if (answer != "none") {
    std::printf("%s\n", answer.c_str());
  }
  return 0;
}

void Record(int argc, char** argv) {
  FILE* log = std::fopen((Env("GATEWAY_ROOT", "") + "/t38.log").c_str(), "a");
  if (log == nullptr) {
    return;
  }
  for (int i = 0; i < argc; ++i) {
    std::fprintf(log, "argv[%d]=%s\n", i, argv[i]);
  }
  const int mode = fcntl(0, F_GETFL) & O_ACCMODE;
  std::fprintf(log, "stdin=%s\n", mode == O_RDWR ? "rw" : mode == O_RDONLY ? "ro" : "wo");
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    std::fprintf(log, "open files limit=%llu\n", static_cast<unsigned long long>(limit.rlim_cur));
  }
  std::fclose(log);
}

void Echo() {
  char buffer[2048];
  for (;;) {
    pollfd entry{0, POLLIN, 0};
    if (poll(&entry, 1, -1) < 0) {
      continue;
    }
    const ssize_t n = read(0, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      return;
    }
    if (n > 0) {
      static_cast<void>(write(0, buffer, static_cast<size_t>(n)));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Record(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "--num-of-instances") == 0) {
    return AnswerInstances();
  }
  const std::string scenario = Env("T38_SCENARIO", "echo");
  if (scenario.rfind("exit:", 0) == 0) {
    return std::atoi(scenario.c_str() + 5);
  }
  if (scenario.rfind("signal:", 0) == 0) {
    kill(getpid(), std::atoi(scenario.c_str() + 7));
    pause();
  }
  if (scenario == "ignore-term") {
    signal(SIGTERM, SIG_IGN);
  }
  Echo();
  return 0;
}
