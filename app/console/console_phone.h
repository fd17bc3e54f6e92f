// The phone without a display: the console view and the line protocol's transport. Commands
// come one per line on standard input and from TCP clients of the control port (loopback
// only); each gets exactly one answer line on the channel it came from. Events
// ("event {json}") go to standard output and to every control client. End of standard input,
// "quit", SIGINT and SIGTERM stop the phone cleanly.
//
// Output never blocks the loop: standard output and each client have their own queue
// (ConsoleOutbox), written by the loop as far as the reader takes it. A reader that falls
// behind loses its oldest events (and is told how many); one that stops reading its answers
// is not read from until it catches up. The verbs live in console_verbs.cpp.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/console/command_processor.h"
#include "app/console/console_event.h"
#include "app/console/console_outbox.h"
#include "app/phone_entry.h"
#include "app/console/nettest_verbs.h"
#include "app/progress/headless_progress.h"
#include "platform/fd_io.h"
#include "platform/headless_loop.h"
#include "platform/tcp_listener.h"
#include "platform/termination_signals.h"
#include "platform/thread_checker.h"

namespace corvina::app {

class ConsolePhone final : public PhoneFrontend,
                           public MainView,
                           public ConsoleEventSink,
                           public PhoneObserver,
                           private ConsoleInput {
 public:
  // `signals` (may be null) stops the phone on SIGINT and SIGTERM. The descriptors stay the
  // caller's.
  ConsolePhone(int inputFd, int outputFd, platform::TerminationSignals* signals);
  ~ConsolePhone() override;

  // Also take commands from TCP clients on "127.x.x.x:PORT"; the port opens with the window,
  // so a second start hands over instead of fighting for it.
  void SetControlAddress(std::string hostPort) { controlAddress_ = std::move(hostPort); }
  // Written to standard error when the phone starts here (not when this start hands over).
  void SetStartNote(std::string text) { startNote_ = std::move(text); }

  void AttachPostbox(platform::UiPostbox& postbox) override { loop_.Attach(postbox); }
  void DetachPostbox() override { loop_.Detach(); }
  platform::TimerHost& Timers() override { return loop_; }
  MainView& View() override { return *this; }
  bool CreateWindow(MainWindow& window) override;
  int RunLoop() override;
  void DestroyWindow() override;
  int CreateFailureCode() const override { return 1; }

  void BringToFront() override;
  void ShowStatusWindow(bool visible) override;
  void StatusWindowChanged() override {}
  void Close() override { loop_.Quit(0); }
  PhoneObserver* Observer() override { return this; }

  // The view's changes, one event each.
  void RequestAttention() override;
  void SetButtonImage(ControlId control, ButtonImage image, bool pressed) override;
  void SetControlEnabled(ControlId control, bool enabled) override;
  void SetLineButton(int line, bool lit) override;
  void SetLineTip(int line, std::string_view tip) override;
  // Only changes of the title, the left row, the note or the lower rows: the clock ticks every
  // second.
  void PaintDisplay(const DisplayRows& rows) override;
  // Without the clock only the idle display's date moves: a paint a minute keeps an idle
  // console phone from waking every second.
  std::uint32_t DisplayRefreshMs() const override { return 60000; }
  void SetDialText(std::string_view text) override;
  void SetDialBoxEnabled(bool enabled) override;
  void FocusDialBox() override;
  void SetDialList(const std::vector<std::string>& items) override;
  void SelectDialListItem(int index) override;
  void SetMenuItem(MenuId item, bool enabled, bool checked) override;
  void SetSliders(int play, int record) override;
  void ShowMessageBox(std::string_view title, std::string_view text) override;
  void OpenExternal(std::string_view target) override;
  // {"event":"transferMenu","items":[...]} and {"event":"dialog","name":"Quick Transfer List"}
  void ShowTransferMenu(const std::vector<TransferMenuItem>& items) override;
  void OpenQuickTransferList() override;
  // {"event":"dialog","name":"Options","page":N}: the `options` verb edits its pages.
  bool OpenOptions(int page) override;
  // {"event":"question",...}, then the loop runs until `reply` answers (nettest_verbs.h).
  QuestionAnswer AskYesNoCancel(std::string_view title, std::string_view text) override;
  // Command 1013: the tool as the `nettest` verb runs it.
  bool RunNetworkTool() override;
  ProgressWindow* ToolProgress() override { return &progress_; }
  // {"event":"hotkey","id":N,"registered":true,"modifiers":M,"key":K} / "registered":false
  bool RegisterHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey) override;
  void UnregisterHotkey(int id) override;
  // PhoneObserver.
  void CallAnnounced(int line, const call::LineSnapshot& snapshot) override;
  // {"event":"hold","line":N,"held":true|false}
  void HoldApplied(int line, bool held) override;
  void ConferenceChanged(const Conference& conference) override;
  // A first start here shows no wizard: event {"event":"wizard","skipped":true}.
  void WizardSkipped() override;
  // {"event":"transfer","line":N,"kind":"blind|transferee|attended","result":"referred|failed|replaced|bridged"}
  void TransferReported(int line, call::TransferKind kind, call::TransferOutcome outcome) override;
  // {"event":"recording","line":N,"on":true|false,"path":"..."} (a file) or "orrin":"host:port"
  void RecordingChanged(int line, bool on, const media::RecordingTarget& target) override;
  void MissedCallsChanged(std::int64_t count, std::string_view summary) override;
  void TonePlayed(std::string_view name, bool loop, bool ringDevice) override;
  void RegistrationChanged(const LineRegistrationState& state) override;
  void PublicAddressChanged(const sip::OwnAddresses& addresses) override;

  // The progress window of long operations started from the console: `progress` events, the
  // `cancel` verb, and commands still answered while the operation waits.
  ProgressWindow& Progress() { return progress_; }

  // Queues the event for standard output and every control client. Loop thread only.
  void Emit(const ConsoleEvent& event) override;

  static constexpr std::size_t kMaxLineBytes = 8192;
  static constexpr std::size_t kMaxClients = 8;
  // A channel with this many answers unwritten is not read from until half of them went out.
  static constexpr std::size_t kMaxWaitingAnswers = 256;
  static constexpr int kClientSendBufferBytes = 64 * 1024;
  // How long the last answers and events may take to go out once the loop has ended.
  static constexpr int kExitFlushMs = 1000;

 private:
  struct Output {
    int fd = -1;
    ConsoleOutbox outbox;
    bool writeWatched = false;
    bool dead = false;
  };
  struct Channel {
    int readFd = -1;
    Output* output = nullptr;      // standard output, or `own` for a control client
    std::unique_ptr<Output> own;   // a control client's; its fd is readFd
    platform::LineSplitter lines{kMaxLineBytes};
    bool paused = false;           // not read from while its answers wait
  };
  void WatchInput(Channel& channel);
  void OnReadable(int fd);
  void HandleLine(Channel& channel, std::string_view line);
  void Answer(Channel& channel, std::string line);
  // Writes what `output` takes now and watches for room when more is left.
  void Flush(Output& output);
  void ResumeReaders();
  void AcceptClients();
  void DropChannel(int fd);
  void FlushBeforeExit();
  // ConsoleInput: a progress wait runs rounds of the loop; quitting cancels the operation.
  int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) override;
  // Runs the complete lines already read; the rounds serve the rest.
  void HandleInput() override;

  platform::ThreadChecker uiThread_;
  platform::HeadlessLoop loop_;
  Output stdout_;              // a private non-blocking writer onto the caller's output
  bool ownsStdout_ = false;
  platform::TerminationSignals* signals_;
  std::string controlAddress_;
  std::string startNote_;
  platform::TcpListener control_;
  CommandProcessor commands_;
  std::map<int, std::unique_ptr<Channel>> channels_;  // by read descriptor; loop thread
  DisplayRows shownRows_;                              // the display as last told; loop thread
  platform::SystemTickClock tickClock_;
  HeadlessProgress progress_{*this, *this, tickClock_};  // loop thread
  ConsoleQuestion question_;                             // loop thread
  MainWindow* window_ = nullptr;                         // loop thread; set by CreateWindow
};

}  // namespace corvina::app
