// The address book window: the contacts in store order with the columns "Name",
// "Phone Number / Sip Address" and "Email Address"; a toolbar (add, edit, delete, call) and the
// menu New, Edit, Delete, Import Addresses..., Export Addresses..., Dial, Send Mail, Invite
// Friends, Close. Import runs in the progress window titled "Importing Contacts". Qt main
// thread only.
#pragma once

#include <QMainWindow>
#include <functional>
#include <string>

#include "contacts/contact_store.h"
#include "contacts/quick_lists.h"
#include "ui/qt_progress.h"

class QTreeWidget;

namespace corvina::ui {

struct AddressBookHooks {
  // Places a call to the number.
  std::function<void(const std::string& number)> dial = {};
  // The contacts changed (the main window refreshes its dial list).
  std::function<void()> changed = {};
  // The folder the file dialogs start in, and the one chosen last ("SaveFolder").
  std::function<std::string()> saveFolder = {};
  std::function<void(const std::string& folder)> setSaveFolder = {};
  // Opens the e-mail sender to the address; empty until mail is built (the commands are then off).
  std::function<void(const std::string& email, bool invite)> mail = {};
  // Deletes a contact with what hangs off it (its quick-transfer items); empty: the store's
  // delete alone.
  std::function<bool(long id)> deleteContact = {};
  // Adds a name and number to the auto-intercom list; its refusal, if any. Empty: the command
  // is off.
  std::function<std::optional<contacts::Refusal>(const std::string& name, const std::string& number)>
      addToAutoIntercom = {};
};

class AddressBookWindow final : public QMainWindow {
 public:
  // `store` stays the caller's and outlives the window.
  AddressBookWindow(contacts::ContactStore& store, AddressBookHooks hooks, QWidget* parent = nullptr);

  // Reads the store again into the list.
  void Refill();
  QTreeWidget* List() const { return list_; }

  // The commands, also behind the menu and toolbar.
  void NewContact();
  void EditContact();
  void DeleteContacts();
  void ImportAddresses();
  void ExportAddresses();
  void DialContact();
  // The selected contact's display name and number into the auto-intercom list.
  void AddToAutoIntercom();

 private:
  int SelectedIndex() const;
  void Changed();
  std::string AskFile(bool save);

  contacts::ContactStore& store_;
  AddressBookHooks hooks_;
  QTreeWidget* list_ = nullptr;
  QtProgressWindow progress_{this};
};

}  // namespace corvina::ui
