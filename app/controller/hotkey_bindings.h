// The hotkey list's registration with the window system. Item k of the list (list order) is
// registered under identifier 6 + k with the modifiers and key stored for it; a saved list
// first takes away every identifier registered before, so that a shorter list leaves none of
// the old keys behind. A hotkey k holds Intercom toward auto-intercom entry k while it is down.
// User-interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "contacts/quick_lists.h"

namespace corvina::app {

// Where the hotkeys are registered (the window's view).
class HotkeyRegistrar {
 public:
  virtual ~HotkeyRegistrar() = default;
  virtual bool RegisterHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey) = 0;
  virtual void UnregisterHotkey(int id) = 0;
};

class HotkeyBindings {
 public:
  static constexpr int kFirstId = 6;

  struct Binding {
    int id = 0;
    std::uint32_t modifiers = 0;
    std::uint32_t virtualKey = 0;
    friend bool operator==(const Binding&, const Binding&) = default;
  };

  // Unregisters what was registered before, then registers `list` in order; an item without a
  // key is registered with modifiers 0 and key 0.
  void Apply(const std::vector<contacts::HotkeyEntry>& list, HotkeyRegistrar& registrar);
  // The list position a hotkey identifier stands for, or nothing.
  std::optional<int> PositionOf(int id) const;
  const std::vector<Binding>& Registered() const { return registered_; }

 private:
  std::vector<Binding> registered_;
};

}  // namespace corvina::app
