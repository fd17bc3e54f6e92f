#include "app/console/console_phone.h"

#include "app/console/sip_console.h"

#include <chrono>
#include <vector>

#include "app/console/console_verbs.h"
#include "app/console/json_writer.h"

namespace corvina::app {

ConsolePhone::ConsolePhone(int inputFd, int outputFd, platform::TerminationSignals* signals) : signals_(signals) {
  stdout_.fd = platform::OpenNonBlockingWriter(outputFd);
  ownsStdout_ = stdout_.fd >= 0;
  if (!ownsStdout_) stdout_.fd = outputFd;  // no private writer: write to it as it is
  auto input = std::make_unique<Channel>();
  input->readFd = inputFd;
  input->output = &stdout_;
  channels_[inputFd] = std::move(input);
}

ConsolePhone::~ConsolePhone() {
  for (auto& [fd, channel] : channels_) {
    if (channel->own) platform::CloseFd(fd);  // standard input is not ours to close
  }
  if (ownsStdout_) platform::CloseFd(stdout_.fd);
}

bool ConsolePhone::CreateWindow(MainWindow& window) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!startNote_.empty()) platform::WriteAll(2, startNote_);
  if (!controlAddress_.empty()) {
    std::string error;
    if (!control_.Listen(controlAddress_, &error)) {
      platform::WriteAll(2, "error: --control: " + error + "\n");
      return false;
    }
  }
  RegisterConsoleVerbs(commands_, ConsoleVerbContext{window, window.Program(), *this, [this] { loop_.Quit(0); }, progress_});
  RegisterProgressVerbs(commands_, progress_);
  RegisterNetTestVerbs(commands_, window, question_);
  window_ = &window;
  for (auto& [fd, channel] : channels_) WatchInput(*channel);
  if (control_.Fd() >= 0) {
    loop_.WatchFd(control_.Fd(), [this] { AcceptClients(); });
    Emit(ConsoleEvent("control").Add("address", control_.Address()));
  }
  if (signals_ != nullptr && signals_->Fd() >= 0) {
    loop_.WatchFd(signals_->Fd(), [this] {
      if (signals_->Take() != 0) loop_.Quit(0);
    });
  }
  return true;
}

int ConsolePhone::RunLoop() {
  int code = loop_.Run();
  FlushBeforeExit();
  return code;
}

int ConsolePhone::WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) {
  CORVINA_CHECK_THREAD(uiThread_);
  // Lines that came in the same read as the command now running are read before waiting.
  for (auto& [fd, channel] : channels_) {
    if (!channel->paused && channel->lines.HasLine()) return CooperativeWaiter::kInput;
  }
  const int ready = loop_.WaitRound(sources, timeoutMs);
  // The phone is closing: end the operation as if its window were closed.
  if (loop_.Quitting()) progress_.Cancel();
  return ready == platform::HeadlessLoop::kRoundServed ? CooperativeWaiter::kInput : ready;
}

void ConsolePhone::HandleInput() {
  std::vector<int> fds;
  for (auto& [fd, channel] : channels_) {
    if (!channel->paused && channel->lines.HasLine()) fds.push_back(fd);
  }
  for (int fd : fds) {
    std::string line;
    for (;;) {
      auto it = channels_.find(fd);
      if (it == channels_.end() || it->second->paused) break;
      Channel& channel = *it->second;
      const platform::LineSplitter::Result result = channel.lines.Next(&line);
      if (result == platform::LineSplitter::Result::kNone) break;
      if (result == platform::LineSplitter::Result::kTooLong) {
        Answer(channel, CommandReply::Error("line longer than 8192 bytes").Line());
      } else {
        HandleLine(channel, line);
      }
    }
  }
}

void ConsolePhone::DestroyWindow() { commands_ = CommandProcessor(); }

void ConsolePhone::WatchInput(Channel& channel) {
  const int fd = channel.readFd;
  loop_.WatchFd(fd, [this, fd] { OnReadable(fd); });
}

void ConsolePhone::Emit(const ConsoleEvent& event) {
  CORVINA_CHECK_THREAD(uiThread_);
  const std::string line = event.Text();
  stdout_.outbox.PushEvent(line);
  Flush(stdout_);
  std::vector<int> dead;
  for (auto& [fd, channel] : channels_) {
    if (!channel->own) continue;
    channel->own->outbox.PushEvent(line);
    Flush(*channel->own);
    if (channel->own->dead) dead.push_back(fd);
  }
  for (int fd : dead) DropChannel(fd);
}

void ConsolePhone::Flush(Output& output) {
  CORVINA_CHECK_THREAD(uiThread_);
  while (!output.dead && !output.outbox.Empty()) {
    long n = platform::WriteSome(output.fd, output.outbox.Front());
    if (n < 0) output.dead = true;
    if (n <= 0) break;
    output.outbox.Consume(static_cast<std::size_t>(n));
  }
  if (output.dead) output.outbox.Clear();  // the reader has gone: nothing has anywhere to go
  const bool wantRoom = !output.dead && !output.outbox.Empty();
  if (wantRoom != output.writeWatched) {
    if (wantRoom) {
      Output* target = &output;
      loop_.WatchWritable(output.fd, [this, target] {
        Flush(*target);
        if (target != &stdout_ && target->dead) {
          for (auto& [fd, channel] : channels_) {
            if (channel->own.get() == target) {
              DropChannel(fd);
              break;
            }
          }
        }
      });
    } else {
      loop_.UnwatchWritable(output.fd);
    }
    output.writeWatched = wantRoom;
  }
  ResumeReaders();
}

void ConsolePhone::ResumeReaders() {
  for (auto& [fd, channel] : channels_) {
    if (channel->paused && channel->output->outbox.Answers() <= kMaxWaitingAnswers / 2) {
      channel->paused = false;
      WatchInput(*channel);
    }
  }
}

void ConsolePhone::Answer(Channel& channel, std::string line) {
  channel.output->outbox.PushAnswer(std::move(line));
  Flush(*channel.output);
  if (channel.output->outbox.Answers() >= kMaxWaitingAnswers && !channel.paused) {
    channel.paused = true;
    loop_.WatchFd(channel.readFd, nullptr);
  }
}

void ConsolePhone::BringToFront() { Emit(ConsoleEvent("front")); }

void ConsolePhone::ShowStatusWindow(bool visible) { Emit(ConsoleEvent("statusPane").Add("visible", visible)); }

void ConsolePhone::RegistrationChanged(const LineRegistrationState& state) { Emit(RegistrationEvent(state)); }

void ConsolePhone::PublicAddressChanged(const sip::OwnAddresses& addresses) { Emit(AddressEvent(addresses)); }

void ConsolePhone::AcceptClients() {
  for (;;) {
    int fd = control_.Accept().Release();  // the channel owns it from here
    if (fd < 0) return;
    if (channels_.size() > kMaxClients) {
      platform::WriteSome(fd, "error: too many control connections\n");
      platform::CloseFd(fd);
      continue;
    }
    // A small kernel buffer keeps the client's backlog in its outbox, where it is bounded.
    platform::SetSendBuffer(fd, kClientSendBufferBytes);
    auto channel = std::make_unique<Channel>();
    channel->readFd = fd;
    channel->own = std::make_unique<Output>();
    channel->own->fd = fd;
    channel->output = channel->own.get();
    WatchInput(*channel);
    channels_[fd] = std::move(channel);
  }
}

void ConsolePhone::DropChannel(int fd) {
  auto it = channels_.find(fd);
  if (it == channels_.end()) return;
  const bool isInput = !it->second->own;
  loop_.UnwatchFd(fd);
  if (!isInput) platform::CloseFd(fd);
  channels_.erase(it);
  if (isInput) loop_.Quit(0);  // end of standard input stops the phone
}

void ConsolePhone::OnReadable(int fd) {
  auto it = channels_.find(fd);
  if (it == channels_.end()) return;
  Channel& channel = *it->second;
  char buffer[4096];
  const long n = platform::ReadSome(fd, buffer, sizeof buffer);
  if (n == platform::kNothingYet) return;
  std::string line;
  if (n <= 0) {
    // A last line without its newline still counts.
    if (channel.lines.TakeRest(&line)) HandleLine(channel, line);
    DropChannel(fd);
    return;
  }
  channel.lines.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
  for (;;) {
    platform::LineSplitter::Result result = channel.lines.Next(&line);
    if (result == platform::LineSplitter::Result::kNone) return;
    if (result == platform::LineSplitter::Result::kTooLong) {
      Answer(channel, CommandReply::Error("line longer than 8192 bytes").Line());
    } else {
      HandleLine(channel, line);
    }
    if (channels_.find(fd) == channels_.end()) return;  // the command closed this channel
  }
}

void ConsolePhone::HandleLine(Channel& channel, std::string_view line) {
  const int fd = channel.readFd;
  std::string answer = commands_.Execute(line);
  // A command that ran a progress operation served other input meanwhile, which may have
  // dropped this channel.
  auto it = channels_.find(fd);
  if (it == channels_.end() || it->second.get() != &channel) return;
  if (!answer.empty()) Answer(channel, std::move(answer));
}

void ConsolePhone::FlushBeforeExit() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kExitFlushMs);
  std::vector<Output*> outputs{&stdout_};
  for (auto& [fd, channel] : channels_) {
    if (channel->own) outputs.push_back(channel->own.get());
  }
  for (Output* output : outputs) {
    while (!output->dead && !output->outbox.Empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || !platform::WaitWritable(output->fd, static_cast<int>(left))) return;
      long n = platform::WriteSome(output->fd, output->outbox.Front());
      if (n < 0) output->dead = true;
      if (n > 0) output->outbox.Consume(static_cast<std::size_t>(n));
    }
  }
}

}  // namespace corvina::app
