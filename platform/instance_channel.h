// Finding the running phone of the same home and handing over to it. The running instance
// listens on a local stream socket in the home's runtime folder; on every connection it first
// sends its title line ("Corvina ..."), then reads one request line. A second start connects,
// checks the title, sends "hotkey 1" and waits for "ok" - the running instance then brings its
// window to the front - and exits. A start that asks to dial sends "dial LINE TEXT" instead
// (LINE 0 for no line button, 1 or 2 for line button "1" or "2"); the running instance refuses
// any other line, and a text holding control characters, with "error: ...". A start that
// changed the settings sends "apply": the running instance answers "ok" and applies them.
#pragma once

#include <functional>
#include <string>

#include "platform/unique_fd.h"
#include "platform/worker_thread.h"

namespace corvina::platform {

// A number to dial handed to the running phone: put `text` (when not empty) into the dial box,
// then press line button `line` (1 or 2), or with 0 dial.
struct DialRequest {
  std::string text;
  int line = 0;

  bool operator==(const DialRequest&) const = default;
};

// True for a line of 0, 1 or 2 and a text without control characters that fits a request line.
bool IsValidDialRequest(const DialRequest& request);

// The socket address of a runtime folder; long folders fall back to an abstract name derived
// from the folder, since a socket path holds at most 107 bytes.
std::string InstanceSocketName(const std::string& runtimeFolder);

class InstanceServer final : public WorkerThread {
 public:
  // `onHotkey(id)` is called on the server's thread for each "hotkey N" request; post it to
  // the user-interface thread from there.
  InstanceServer(std::string runtimeFolder, std::string title, std::function<void(int)> onHotkey);
  // `onDial` is called on the server's thread for each valid dial request.
  void SetDialHandler(std::function<void(const DialRequest&)> onDial) { onDial_ = std::move(onDial); }
  // `onApply` is called on the server's thread for each "apply" request.
  void SetApplyHandler(std::function<void()> onApply) { onApply_ = std::move(onApply); }
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
  std::function<void(const DialRequest&)> onDial_;
  std::function<void()> onApply_;
  std::string socketName_;
  bool abstract_ = false;
  UniqueFd listenFd_;
};

// True when a running instance answered with a title beginning with "Corvina" and took the
// hand-over request; every step is bounded by `timeoutMs`.
bool HandOverToRunningInstance(const std::string& runtimeFolder, int timeoutMs);

enum class HandOverResult { kNoInstance, kTaken, kRefused };
// Hands `request` to the running phone instead of bringing it forward: kTaken when it
// answered "ok", kRefused when it answered with an error (or the request is not valid),
// kNoInstance when none answered.
HandOverResult HandDialToRunningInstance(const std::string& runtimeFolder, const DialRequest& request,
                                         int timeoutMs);

// True when a phone runs on this runtime folder: it answers a connection with its title. Nothing
// is asked of it (the connection closes without a request).
bool RunningInstanceAnswers(const std::string& runtimeFolder, int timeoutMs);

// Asks the running phone to apply the settings; true when one answered "ok".
bool AskRunningInstanceToApply(const std::string& runtimeFolder, int timeoutMs);

}  // namespace corvina::platform
