#include "platform/instance_channel.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/fd_io.h"
#include "platform/paths.h"
#include "platform/product.h"
#include "platform/text.h"

namespace corvina::platform {
namespace {

constexpr int kClientTimeoutMs = 1000;

bool MakeAddress(const std::string& name, sockaddr_un* addr, socklen_t* len) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (name.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, name.data(), name.size());  // an abstract name starts with NUL
  *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (name[0] == '\0' ? 0 : 1));
  return true;
}

// Request and answer lines are short (a dial request's text is at most 259 characters, 4 bytes
// each at most); anything longer is no client of ours.
constexpr std::size_t kMaxLineBytes = 1100;
constexpr std::size_t kMaxDialTextBytes = 1036;

UniqueFd Connect(const std::string& name) {
  sockaddr_un addr;
  socklen_t len;
  if (!MakeAddress(name, &addr, &len)) return UniqueFd();
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd && connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), len) != 0) fd.Reset();
  return fd;
}

// Connects, checks that a phone answers with its title, sends `request` and reads the answer.
// False when no phone answered.
bool Exchange(const std::string& runtimeFolder, const std::string& request, int timeoutMs, std::string* reply) {
  UniqueFd connection = Connect(InstanceSocketName(runtimeFolder));
  if (!connection) return false;
  const int fd = connection.Get();
  LineSplitter lines(kMaxLineBytes);
  std::string title;
  return ReadLine(fd, timeoutMs, lines, &title) && title.compare(0, kProductName.size(), kProductName) == 0 &&
         WriteAll(fd, request + "\n") && ReadLine(fd, timeoutMs, lines, reply);
}

}  // namespace

bool IsValidDialRequest(const DialRequest& request) {
  if (request.line < 0 || request.line > 2 || request.text.size() > kMaxDialTextBytes) return false;
  for (unsigned char c : request.text) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string InstanceSocketName(const std::string& runtimeFolder) {
  std::string path = runtimeFolder + "/instance.sock";
  if (path.size() < sizeof(sockaddr_un{}.sun_path)) return path;
  // FNV-1a of the folder keeps two homes apart.
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : runtimeFolder) h = (h ^ c) * 1099511628211ull;
  char hash[24];
  std::snprintf(hash, sizeof hash, "-%016llx", static_cast<unsigned long long>(h));
  return std::string(1, '\0') + std::string(kConfigFolderName) + hash;
}

InstanceServer::InstanceServer(std::string runtimeFolder, std::string title, std::function<void(int)> onHotkey)
    : WorkerThread("instance"),
      runtimeFolder_(std::move(runtimeFolder)),
      title_(std::move(title)),
      onHotkey_(std::move(onHotkey)) {}

InstanceServer::~InstanceServer() {
  StopAndJoin();
  if (!abstract_ && !socketName_.empty()) unlink(socketName_.c_str());
}

bool InstanceServer::Listen() {
  EnsureFolder(runtimeFolder_);
  socketName_ = InstanceSocketName(runtimeFolder_);
  abstract_ = socketName_[0] == '\0';
  sockaddr_un addr;
  socklen_t len;
  if (!MakeAddress(socketName_, &addr, &len)) return false;
  listenFd_.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listenFd_) return false;
  if (bind(listenFd_.Get(), reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    // A socket file with nobody behind it was left by an instance that died: take it over.
    const bool inUse = errno == EADDRINUSE;
    UniqueFd probe = inUse && !abstract_ ? Connect(socketName_) : UniqueFd();
    if (probe || abstract_ || !inUse || errno != ECONNREFUSED) {
      listenFd_.Reset();
      return false;
    }
    unlink(socketName_.c_str());
    if (bind(listenFd_.Get(), reinterpret_cast<sockaddr*>(&addr), len) != 0) {
      listenFd_.Reset();
      return false;
    }
  }
  if (listen(listenFd_.Get(), 8) != 0) return false;
  return Start();
}

void InstanceServer::Run() {
  for (;;) {
    int index = -1;
    WaitOutcome outcome = WaitAny({WaitSource::Readable(listenFd_.Get())}, 60000, &index);
    if (outcome == WaitOutcome::kStopped || outcome == WaitOutcome::kFailed) return;
    if (outcome == WaitOutcome::kTimedOut) continue;
    UniqueFd client(accept4(listenFd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (client) Serve(client.Get());
  }
}

void InstanceServer::Serve(int client) {
  if (!WriteAll(client, title_ + "\n")) return;
  LineSplitter lines(kMaxLineBytes);
  std::string request;
  if (!ReadLine(client, kClientTimeoutMs, lines, &request)) return;
  const std::string_view hotkey = "hotkey ";
  if (request.compare(0, hotkey.size(), hotkey) == 0) {
    int id = static_cast<int>(ParseLeadingLong(std::string_view(request).substr(hotkey.size())));
    WriteAll(client, "ok\n");
    if (onHotkey_) onHotkey_(id);
    return;
  }
  const std::string_view dial = "dial ";
  if (request.compare(0, dial.size(), dial) == 0) {
    // "dial LINE TEXT": one digit, one space, then the text to the end of the line.
    const std::string_view rest = std::string_view(request).substr(dial.size());
    DialRequest parsed;
    const bool wellFormed = rest.size() >= 2 && rest[0] >= '0' && rest[0] <= '9' && rest[1] == ' ';
    if (wellFormed) {
      parsed.line = rest[0] - '0';
      parsed.text = std::string(rest.substr(2));
    }
    if (!wellFormed || !IsValidDialRequest(parsed)) {
      WriteAll(client, "error: bad dial request\n");
      return;
    }
    WriteAll(client, "ok\n");
    if (onDial_) onDial_(parsed);
    return;
  }
  if (request == "apply" && onApply_) {
    WriteAll(client, "ok\n");
    onApply_();
    return;
  }
  WriteAll(client, "error: unknown request\n");
}

bool HandOverToRunningInstance(const std::string& runtimeFolder, int timeoutMs) {
  std::string reply;
  return Exchange(runtimeFolder, "hotkey 1", timeoutMs, &reply) && reply == "ok";
}

bool RunningInstanceAnswers(const std::string& runtimeFolder, int timeoutMs) {
  UniqueFd connection = Connect(InstanceSocketName(runtimeFolder));
  if (!connection) return false;
  LineSplitter lines(kMaxLineBytes);
  std::string title;
  return ReadLine(connection.Get(), timeoutMs, lines, &title) &&
         title.compare(0, kProductName.size(), kProductName) == 0;
}

bool AskRunningInstanceToApply(const std::string& runtimeFolder, int timeoutMs) {
  std::string reply;
  return Exchange(runtimeFolder, "apply", timeoutMs, &reply) && reply == "ok";
}

HandOverResult HandDialToRunningInstance(const std::string& runtimeFolder, const DialRequest& request,
                                         int timeoutMs) {
  if (!IsValidDialRequest(request)) return HandOverResult::kRefused;
  std::string reply;
  if (!Exchange(runtimeFolder, "dial " + std::to_string(request.line) + " " + request.text, timeoutMs, &reply)) {
    return HandOverResult::kNoInstance;
  }
  return reply == "ok" ? HandOverResult::kTaken : HandOverResult::kRefused;
}

}  // namespace corvina::platform
