#include "app/console_phone.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "app/json_writer.h"

namespace corvina::app {
namespace {

std::string EngineJson(sip::SipEngine& engine) {
  sip::OwnAddresses own = engine.Endpoint().Addresses();
  return JsonObject()
      .Add("running", engine.IsRunning())
      .Add("ready", engine.Ready())
      .Add("port", static_cast<int>(own.localPort))
      .Add("privateAddress", own.privateAddress)
      .Add("publicAddress", own.publicAddress)
      .Add("publicPort", static_cast<int>(own.publicPort))
      .Str();
}

// One line's registration; `event` names the event line it is for, or is empty in a list.
std::string RegistrationJson(const LineRegistrationState& s, std::string_view event) {
  JsonObject o;
  if (!event.empty()) o.Add("event", event);
  return o.Add("line", s.line)
      .Add("aor", s.addressOfRecord)
      .Add("server", s.server)
      .Add("registers", s.registers)
      .Add("registered", s.registered)
      .Add("nextAttemptSeconds", s.secondsToNextAttempt)
      .Str();
}

std::string RegistrationsJson(const std::vector<LineRegistrationState>& states) {
  std::string list = "[";
  for (const LineRegistrationState& s : states) {
    if (list.size() > 1) list += ',';
    list += RegistrationJson(s, {});
  }
  return list + "]";
}

}  // namespace

ConsolePhone::ConsolePhone(int inputFd, int outputFd, platform::TerminationSignals* signals)
    : outputFd_(outputFd), signals_(signals) {
  channels_[inputFd] = std::make_unique<Channel>(Channel{inputFd, outputFd, {}, false});
}

ConsolePhone::~ConsolePhone() {
  for (auto& [fd, channel] : channels_) {
    if (channel->readFd != channel->writeFd) continue;  // standard input is not ours to close
    close(fd);
  }
}

bool ConsolePhone::CreateWindow(MainWindow& window) {
  if (!controlAddress_.empty()) {
    std::string error;
    if (!control_.Listen(controlAddress_, &error)) {
      WriteLine(2, "error: --control: " + error);
      return false;
    }
  }
  window_ = &window;
  RegisterVerbs();
  for (auto& [fd, channel] : channels_) loop_.WatchFd(fd, [this, fd = fd] { OnReadable(fd); });
  if (control_.Fd() >= 0) {
    loop_.WatchFd(control_.Fd(), [this] { AcceptClients(); });
    EmitEvent(JsonObject().Add("event", "control").Add("address", control_.Address()).Str());
  }
  if (signals_ != nullptr && signals_->Fd() >= 0) {
    loop_.WatchFd(signals_->Fd(), [this] {
      if (signals_->Take() != 0) loop_.Quit(0);
    });
  }
  return true;
}

void ConsolePhone::DestroyWindow() {
  window_ = nullptr;
  commands_ = CommandProcessor();
}

void ConsolePhone::RegisterVerbs() {
  commands_.Register("help", "lists the commands", [this](std::string_view) {
    return CommandReply::Ok(commands_.HelpJson());
  });
  commands_.Register("quit", "stops the phone", [this](std::string_view) {
    loop_.Quit(0);
    return CommandReply::Ok();
  });
  commands_.Register("status", "what the phone is and where it keeps its files", [this](std::string_view) {
    ProgramObjects& p = window_->Program();
    return CommandReply::Ok(JsonObject()
                                .Add("phone", kWindowTitle)
                                .Add("version", "4.01")
                                .Add("pid", static_cast<std::int64_t>(getpid()))
                                .Add("initialised", window_->Initialised())
                                .Add("registry", p.paths.registryFile)
                                .Add("dataFolder", p.paths.DataFolder())
                                .Add("logFile", p.activityLog.CurrentFilePath())
                                .Add("startTime", static_cast<std::int64_t>(p.startTime))
                                .Add("workers", static_cast<std::int64_t>(p.workers.Count()))
                                .Add("statusEntries", static_cast<std::int64_t>(window_->Status().Count()))
                                .AddRaw("engine", EngineJson(p.sipEngine))
                                .AddRaw("registrations", RegistrationsJson(window_->LineRegistrations()))
                                .Str());
  });
  commands_.Register("rebind", "closes and binds the SIP socket again", [this](std::string_view) {
    window_->Program().sipEngine.RequestRebind();
    return CommandReply::Ok();
  });
}

void ConsolePhone::RegistrationChanged(const LineRegistrationState& state) {
  EmitEvent(RegistrationJson(state, "registration"));
}

void ConsolePhone::PublicAddressChanged(const sip::OwnAddresses& addresses) {
  EmitEvent(JsonObject()
                .Add("event", "address")
                .Add("publicAddress", addresses.publicAddress)
                .Add("publicPort", static_cast<int>(addresses.publicPort))
                .Add("privateAddress", addresses.privateAddress)
                .Add("port", static_cast<int>(addresses.localPort))
                .Str());
}

bool ConsolePhone::WriteLine(int fd, const std::string& line) {
  std::string text = line + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void ConsolePhone::EmitEvent(const std::string& json) {
  const std::string line = "event " + json;
  WriteLine(outputFd_, line);
  std::vector<int> dead;
  for (auto& [fd, channel] : channels_) {
    if (channel->writeFd == outputFd_) continue;
    if (!WriteLine(channel->writeFd, line)) dead.push_back(fd);
  }
  for (int fd : dead) DropChannel(fd);
}

void ConsolePhone::BringToFront() { EmitEvent(JsonObject().Add("event", "front").Str()); }

void ConsolePhone::ShowStatusPane(bool visible) {
  EmitEvent(JsonObject().Add("event", "statusPane").Add("visible", visible).Str());
}

void ConsolePhone::AcceptClients() {
  for (;;) {
    int fd = control_.Accept().Release();
    if (fd < 0) return;
    if (channels_.size() > kMaxClients) {
      WriteLine(fd, "error: too many control connections");
      close(fd);
      continue;
    }
    // Answers are short lines: a client that stops reading for a second is dropped rather
    // than allowed to stall the phone.
    timeval limit{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    channels_[fd] = std::make_unique<Channel>(Channel{fd, fd, {}, false});
    loop_.WatchFd(fd, [this, fd] { OnReadable(fd); });
  }
}

void ConsolePhone::DropChannel(int fd) {
  auto it = channels_.find(fd);
  if (it == channels_.end()) return;
  bool isInput = it->second->writeFd == outputFd_;
  loop_.UnwatchFd(fd);
  if (!isInput) close(fd);
  channels_.erase(it);
  if (isInput) loop_.Quit(0);  // end of standard input stops the phone
}

void ConsolePhone::OnReadable(int fd) {
  auto it = channels_.find(fd);
  if (it == channels_.end()) return;
  Channel& channel = *it->second;
  char buffer[4096];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // A last line without its newline still counts.
    if (!channel.pending.empty() && !channel.discarding) HandleLine(channel, channel.pending);
    DropChannel(fd);
    return;
  }
  for (ssize_t i = 0; i < n; ++i) {
    char c = buffer[i];
    if (c == '\n') {
      if (!channel.discarding) HandleLine(channel, channel.pending);
      channel.pending.clear();
      channel.discarding = false;
      if (channels_.find(fd) == channels_.end()) return;  // the command closed this channel
      continue;
    }
    if (channel.discarding) continue;
    if (channel.pending.size() >= kMaxLineBytes) {
      WriteLine(channel.writeFd, CommandReply::Error("line longer than 8192 bytes").Line());
      channel.pending.clear();
      channel.discarding = true;
      continue;
    }
    channel.pending += c;
  }
}

void ConsolePhone::HandleLine(Channel& channel, std::string_view line) {
  std::string answer = commands_.Execute(line);
  if (!answer.empty()) WriteLine(channel.writeFd, answer);
}

}  // namespace corvina::app
