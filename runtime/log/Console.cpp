#include "runtime/log/Console.h"

#include "runtime/clock/Mux.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <iostream>

void timestamp(std::ostream& os) {
  Mux::timeval now;
  Mux::gettimeval(now);
  time_t seconds = now.tv_sec;
  struct tm local {};
  if (localtime_r(&seconds, &local) == nullptr) {
    return;
  }
  char text[32];
  if (strftime(text, sizeof text, "%d/%m %H:%M:%S", &local) == 0) {
    return;
  }
  os << text;
}

namespace Console {

void SwitchToBinaryMode() {
  termios attributes{};
  if (tcgetattr(STDIN_FILENO, &attributes) != 0) {
    std::cerr << "can't obtain terminal attributes" << std::endl;
    return;
  }
  attributes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOPRT | ECHOCTL);
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &attributes) != 0) {
    std::cerr << "can't set terminal attributes" << std::endl;
  }
}

void SwitchToNonBlockMode() {
  int on = 1;
  if (ioctl(STDIN_FILENO, FIONBIO, &on) != 0) {
    std::cerr << "can't switch terminal to blocked mode" << std::endl;
  }
}

}  // namespace Console
