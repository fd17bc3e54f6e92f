// The phone controller's quick lists: the Transfer pop-up, its speed entries and the hotkeys'
// intercom.
#include "app/controller/phone_controller.h"
#include "contacts/quick_lists.h"

namespace corvina::app {

bool PhoneController::TransferPossible() const { return !ValidLine(transferSource_) && NormalCall(); }

std::vector<TransferMenuItem> PhoneController::TransferMenu() {
  return BuildTransferMenu(parts_.settings, parts_.contacts, TransferPossible());
}

void PhoneController::OpenTransferMenu() {
  CORVINA_CHECK_THREAD(uiThread_);
  openedMenu_ = TransferMenu();
  parts_.view.ShowTransferMenu(openedMenu_);
}

bool PhoneController::SpeedEntry(int k) {
  CORVINA_CHECK_THREAD(uiThread_);
  // The open menu's items are what the user chose from, even if the list changed since.
  const bool fromMenu = !openedMenu_.empty();
  std::vector<TransferMenuItem> menu = fromMenu ? std::move(openedMenu_) : TransferMenu();
  openedMenu_.clear();
  const TransferMenuItem* item = FindMenuItem(menu, kSpeedEntryBase + k);
  if (item == nullptr || (fromMenu && !item->enabled)) return false;
  if (TransferPossible()) PrepareTransfer();
  EnterDialText(item->number);
  Dial(false);
  return true;
}

bool PhoneController::HotkeyIntercom(int k, bool down) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!down) {
    if (!hotkeyIntercom_) return false;
    hotkeyIntercom_ = false;
    Intercom(false);
    return true;
  }
  std::vector<contacts::NamedNumber> entries =
      contacts::NamedNumberList(parts_.settings, contacts::kAutoIntercomList).Entries();
  if (k < 0 || k >= static_cast<int>(entries.size()) || hotkeyIntercom_) return false;
  hotkeyIntercom_ = true;
  EnterDialText(entries[static_cast<std::size_t>(k)].number);
  Intercom(true);
  return true;
}

}  // namespace corvina::app
