// Finding the running phone of the same home and handing over to it. The running instance
// listens on a local stream socket in the home's runtime folder; on every connection it first
// sends its title line ("Corvina ..."), then reads one request line. A second start connects,
// checks the title, sends "hotkey 1" and waits for "ok" - the running instance then brings its
// window to the front - and exits.
#pragma once

#include <functional>
#include <string>

#include "platform/unique_fd.h"
#include "platform/worker_thread.h"

namespace corvina::platform {

// The socket address of a runtime folder; long folders fall back to an abstract name derived
// from the folder, since a socket path holds at most 107 bytes.
std::string InstanceSocketName(const std::string& runtimeFolder);

class InstanceServer final : public WorkerThread {
 public:
  // `onHotkey(id)` is called on the server's thread for each "hotkey N" request; post it to
  // the user-interface thread from there.
  InstanceServer(std::string runtimeFolder, std::string title, std::function<void(int)> onHotkey);
  ~InstanceServer() override;

  // Binds and listens (removing a stale socket left by a crashed instance) and starts the
  // thread. False when the socket cannot be made.
  bool Listen();

 protected:
  void Run() override;

 private:
  void Serve(int client);

  std::string runtimeFolder_;
  std::string title_;
  std::function<void(int)> onHotkey_;
  std::string socketName_;
  bool abstract_ = false;
  UniqueFd listenFd_;
};

// True when a running instance answered with a title beginning with "Corvina" and took the
// hand-over request; every step is bounded by `timeoutMs`.
bool HandOverToRunningInstance(const std::string& runtimeFolder, int timeoutMs);

}  // namespace corvina::platform
