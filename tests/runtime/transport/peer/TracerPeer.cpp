// Serves a TPKT tracer on the port named by its argument for tracer_client.py, and
// prints "listening" once clients may connect. A frame "all:<text>" has <text>
// copied to every client from outside the handler, on the next loop pass; any
// other frame is answered "echo:<frame>" from inside the handler, so only to its
// sender.

#include "runtime/loop/Dpc.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/transport/TPKTTracer.h"

#include <charconv>
#include <cstring>
#include <iostream>
#include <string>

namespace {

class Peer : public TPKTTracer::Handler {
 public:
  explicit Peer(TPKTTracer& tracer) : tracer_(tracer) { broadcast_.Bind(this, &Peer::OnPass); }

  void OnMessage(const uint8_t* data, unsigned len) override {
    const std::string text(reinterpret_cast<const char*>(data), len);
    if (text.rfind("all:", 0) == 0) {
      pending_ = text.substr(4);
      broadcast_.Activate();
      return;
    }
    Send("echo:" + text);
  }

 private:
  void OnPass() {
    broadcast_.Deactivate();
    Send(pending_);
  }
  void Send(const std::string& text) { tracer_.Send(text.data(), static_cast<unsigned>(text.size())); }

  TPKTTracer& tracer_;
  Dpc broadcast_;
  std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
  unsigned short port = 0;
  const char* end = argc == 2 ? argv[1] + std::strlen(argv[1]) : nullptr;
  if (argc != 2 || std::from_chars(argv[1], end, port).ec != std::errc() ||
      std::from_chars(argv[1], end, port).ptr != end) {
    std::cerr << "usage: tracer_peer <port>" << std::endl;
    return 2;
  }
  TPKTTracer tracer;
  Peer peer(tracer);
  tracer.SetHandler(&peer);
  if (!tracer.Listen(port)) {
    return 1;
  }
  std::cout << "listening" << std::endl;
  multiplexer.run(false, true);
  return 0;
}
