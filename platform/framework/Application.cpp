#include "platform/framework/Application.h"

namespace platform {
namespace {

class Console : public Host {
 public:
  void ProcessMessages() override {}
};

Host* overrideHost = nullptr;

Host& CurrentHost() { return overrideHost ? *overrideHost : ConsoleHost(); }

TApplication application;

}  // namespace

Host& ConsoleHost() {
  static Console host;
  return host;
}

ScopedHost::ScopedHost(Host& host) : previous_(overrideHost) { overrideHost = &host; }
ScopedHost::~ScopedHost() { overrideHost = previous_; }

void TApplication::ProcessMessages() { CurrentHost().ProcessMessages(); }

TApplication* const Application = &application;

}  // namespace platform
