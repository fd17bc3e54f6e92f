// The phone controller: the one main window object of the program. It owns the phone's
// behaviour behind the main window and drives a MainView; the lines, audio and menus join it
// as they are built. It lives on the user-interface thread, and its entry points check so.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "app/controller/call_lines.h"
#include "app/policy/line_accounts.h"
#include "app/controller/main_view.h"
#include "app/controller/phone_controller.h"
#include "app/phone_wiring.h"
#include "app/progress/progress_sink.h"
#include "app/program_objects.h"
#include "platform/product.h"
#include "platform/thread_checker.h"
#include "platform/ui_queue.h"
#include "sip/engine_core.h"

namespace corvina::app {

class MainWindow {
 public:
  MainWindow(ProgramObjects& program, MainView& view);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Window initialisation: attaches the status window, applies its stored visibility, writes
  // "Corvina Run", and says in the log when the settings store could not be opened.
  void Initialise();
  // Starts the phone behind the window on `timers` (the frontend's loop): the tone player, the
  // controller and its two lines. `observer` (may be null) hears announcements, tones and
  // missed calls.
  void StartPhone(platform::TimerHost& timers, PhoneObserver* observer);
  // Hangs up, lets the lines go and stores Do Not Disturb; before the workers stop.
  void StopPhone();
  // The controller, or null before StartPhone and after StopPhone.
  PhoneController* Phone() { return phone_.get(); }
  // The tone player (null before the phone starts and after it stops). UI thread.
  media::TonePlayer* Tones() { return tonePlayer_.get(); }
  // The address book (null before the phone starts). UI thread.
  contacts::ContactStore* Contacts() { return contacts_.get(); }
  // Adds the registrations of the two lines from their settings, reads DoNotDisturb into the
  // engine and starts it.
  void StartSip();
  // The "Networking Setup Wizard": runs the network setup tool in the view's progress window,
  // with the SIP engine stopped while it works and started again afterwards. The menu command
  // and the end of the first-run wizard call it. Returns once the tool has ended.
  WaitResult RunNetworkTool();
  // Ends the calls on both lines (their BYEs go out) before the engine stops.
  void EndCalls() { calls_.End(); }
  CallLines& Calls() { return calls_; }
  // The registration of each line, in line order.
  std::vector<LineRegistrationState> LineRegistrations();
  // A hot key reached the window (`down`: pressed, else released); identifier 1 is the
  // hand-over from a second start, identifiers from 6 the hotkey list's items.
  void OnHotkey(int id, bool down = true);
  // Registers the hotkey list with the view again (at start-up and after the list is saved).
  void ApplyHotkeys();
  const HotkeyBindings& Hotkeys() const { return hotkeys_; }
  // "Show Status Window" menu command: inverts and stores the pane's visibility.
  void ToggleStatusWindow();

  bool Initialised() const { return initialised_; }
  StatusWindow& Status() { return status_; }
  ProgramObjects& Program() { return program_; }
  // Posts on behalf of the window (any thread); pending tasks are cancelled with the window.
  platform::PostOwner& Posts() { return posts_; }

  static constexpr const char* kRunText = CORVINA_NAME " Run";
  static constexpr const char* kSettingsUnusableText = "Cannot open the settings file %s: running on default settings";

 private:
  // Keeps the entries for the status window and asks the view, on the user-interface thread,
  // to redraw it; entries that come while a redraw waits share it.
  class StatusWindowFeed final : public StatusWindowSink {
   public:
    explicit StatusWindowFeed(MainWindow& owner) : owner_(owner) {}
    void AddEntry(std::string_view timeText, std::string_view message, std::uint8_t level) override;

   private:
    MainWindow& owner_;
    std::atomic<bool> redrawWaiting_{false};
  };

  // Hears the engine on its thread and passes what changed to the user-interface thread.
  class SipFeed final : public sip::EngineObserver {
   public:
    explicit SipFeed(MainWindow& owner) : owner_(owner) {}
    void RegistrationChanged(const sip::RegistrationStatus& status) override;
    void AddressChanged(const sip::OwnAddresses& addresses) override;

   private:
    MainWindow& owner_;
  };
  std::vector<LineRegistrationState> StatesOf(const sip::RegistrationStatus& status) const;
  void StopSip();

  platform::ThreadChecker uiThread_;
  ProgramObjects& program_;
  MainView& view_;
  StatusWindow status_;
  StatusWindowFeed feed_{*this};
  bool initialised_ = false;  // user-interface thread
  // User-interface thread; the controller goes before the tones it plays.
  std::unique_ptr<media::TonePlayer> tonePlayer_;
  std::unique_ptr<PlayerTones> tones_;
  std::unique_ptr<contacts::ContactStore> contacts_;
  std::unique_ptr<PhoneController> phone_;
  SipFeed sipFeed_{*this};
  bool sipStarted_ = false;                    // user-interface thread
  bool networkToolRunning_ = false;            // user-interface thread
  sip::RegistrationKey lineKeys_[kLineCount];  // fixed while the engine runs
  CallLines calls_;                            // user-interface thread
  HotkeyBindings hotkeys_;                     // user-interface thread
  // Last, so that the window's pending tasks are cancelled before anything else goes.
  platform::PostOwner posts_;
};

}  // namespace corvina::app
