// The phone without a display: the console view and the line protocol. Commands come one per
// line on standard input and from TCP clients of the control port (loopback only); each gets
// exactly one answer line on the channel it came from. Events ("event {json}") go to standard
// output and to every control client. End of standard input, "quit", SIGINT and SIGTERM stop
// the phone cleanly.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/command_processor.h"
#include "app/phone_entry.h"
#include "platform/headless_loop.h"
#include "platform/tcp_listener.h"
#include "platform/termination_signals.h"

namespace corvina::app {

class ConsolePhone final : public PhoneFrontend, public MainView {
 public:
  // `signals` (may be null) stops the phone on SIGINT and SIGTERM.
  ConsolePhone(int inputFd, int outputFd, platform::TerminationSignals* signals);
  ~ConsolePhone() override;

  // Also take commands from TCP clients on "127.x.x.x:PORT"; the port opens with the window,
  // so a second start hands over instead of fighting for it.
  void SetControlAddress(std::string hostPort) { controlAddress_ = std::move(hostPort); }

  platform::UiQueue& Queue() override { return loop_; }
  platform::TimerHost& Timers() override { return loop_; }
  MainView& View() override { return *this; }
  bool CreateWindow(MainWindow& window) override;
  int RunLoop() override { return loop_.Run(); }
  void DestroyWindow() override;
  int CreateFailureCode() const override { return 1; }

  void BringToFront() override;
  void ShowStatusPane(bool visible) override;
  void StatusEntriesChanged() override {}
  void Close() override { loop_.Quit(0); }
  void RegistrationChanged(const LineRegistrationState& state) override;
  void PublicAddressChanged(const sip::OwnAddresses& addresses) override;

  // Writes "event <json>" to standard output and every control client.
  void EmitEvent(const std::string& json);
  CommandProcessor& Commands() { return commands_; }

  static constexpr std::size_t kMaxLineBytes = 8192;
  static constexpr std::size_t kMaxClients = 8;

 private:
  struct Channel {
    int readFd;
    int writeFd;
    std::string pending;
    bool discarding = false;  // inside an over-long line
  };
  void RegisterVerbs();
  void OnReadable(int fd);
  void HandleLine(Channel& channel, std::string_view line);
  void AcceptClients();
  void DropChannel(int fd);
  static bool WriteLine(int fd, const std::string& line);

  platform::HeadlessLoop loop_;
  int outputFd_;
  platform::TerminationSignals* signals_;
  std::string controlAddress_;
  platform::TcpListener control_;
  CommandProcessor commands_;
  MainWindow* window_ = nullptr;
  std::map<int, std::unique_ptr<Channel>> channels_;  // by read descriptor
};

}  // namespace corvina::app
