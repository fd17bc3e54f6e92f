// The contact dialog ("Add New Contact" / "Edit Contact"): first name, last name, number or SIP
// address, e-mail address. OK trims the fields (spaces only) and hands them to the save
// function; its refusal is shown and the dialog stays open.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "contacts/contact_store.h"

class QLineEdit;

namespace corvina::ui {

class ContactDialog final : public QDialog {
 public:
  // Saves the contact; returns the refusal to show, or an empty string once saved.
  using Save = std::function<std::string(const contacts::Contact& contact)>;

  // `editing` false: a new contact (the fields start empty).
  ContactDialog(QWidget* parent, bool editing, const contacts::Contact& contact, Save save);

  void accept() override;

 private:
  Save save_;
  QLineEdit* fields_[4] = {};  // first, last, number, e-mail
};

}  // namespace corvina::ui
