// The phone controller: the one main window object of the program. It owns the phone's
// behaviour behind the main window and drives a MainView; the lines, audio and menus join it
// as they are built.
#pragma once

#include <vector>

#include "app/line_accounts.h"
#include "app/main_view.h"
#include "app/program_objects.h"
#include "platform/ui_queue.h"
#include "sip/engine_core.h"

namespace corvina::app {

class MainWindow {
 public:
  MainWindow(ProgramObjects& program, MainView& view, platform::UiQueue& ui);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Window initialisation: attaches the status pane, applies its stored visibility and writes
  // "Corvina Run".
  void Initialise();
  // Adds the registrations of the two lines from their settings and starts the SIP engine.
  void StartSip();
  // The registration of each line, in line order.
  std::vector<LineRegistrationState> LineRegistrations();
  // A hot key reached the window; identifier 1 is the hand-over from a second start.
  void OnHotkey(int id);
  // "Show Status Window" menu command: inverts and stores the pane's visibility.
  void ToggleStatusWindow();

  bool Initialised() const { return initialised_; }
  StatusRing& Status() { return status_; }
  ProgramObjects& Program() { return program_; }

  static constexpr const char* kRunText = "Corvina Run";

 private:
  // Keeps the entries for the pane and tells the view on the user-interface thread.
  class StatusFeed final : public StatusWindow {
   public:
    explicit StatusFeed(MainWindow& owner) : owner_(owner) {}
    void AddEntry(std::string_view timeText, std::string_view message, std::uint8_t level) override;

   private:
    MainWindow& owner_;
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

  ProgramObjects& program_;
  MainView& view_;
  platform::UiQueue& ui_;
  StatusRing status_;
  StatusFeed feed_{*this};
  bool initialised_ = false;
  SipFeed sipFeed_{*this};
  bool sipStarted_ = false;                            // user-interface thread
  sip::RegistrationKey lineKeys_[kLineCount];          // fixed while the engine runs
};

}  // namespace corvina::app
