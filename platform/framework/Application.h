// The host application: the services the system asks of the program it runs in.
//
// `Application` forwards to a Host: the console host by default (no message loop), or a
// host a test or a graphical program puts in its place with ScopedHost.
#pragma once

namespace platform {

class Host {
 public:
  virtual ~Host() = default;
  // Handles every message waiting in the thread's queue; a host without a loop does nothing.
  virtual void ProcessMessages() = 0;
};

// The console host: no message loop.
Host& ConsoleHost();

class ScopedHost {
 public:
  explicit ScopedHost(Host& host);
  ~ScopedHost();
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

 private:
  Host* previous_;
};

class TApplication {
 public:
  void ProcessMessages();
};

extern TApplication* const Application;

}  // namespace platform
