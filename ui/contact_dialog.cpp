#include "ui/contact_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>

namespace corvina::ui {

namespace {
constexpr int kMaxFieldChars = 260;

std::string TrimSpaces(const QString& text) {
  std::string s = text.toStdString();
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
}  // namespace

ContactDialog::ContactDialog(QWidget* parent, bool editing, const contacts::Contact& contact, Save save)
    : QDialog(parent), save_(std::move(save)) {
  setObjectName("contactDialog");
  setWindowTitle(editing ? "Edit Contact" : "Add New Contact");
  auto* form = new QFormLayout(this);
  const char* labels[4] = {"First name", "Last name", "Number or SIP", "Email address"};
  const std::string* values[4] = {&contact.firstName, &contact.lastName, &contact.phone, &contact.email};
  for (int i = 0; i < 4; ++i) {
    fields_[i] = new QLineEdit(QString::fromStdString(*values[i]), this);
    fields_[i]->setMaxLength(kMaxFieldChars);
    form->addRow(labels[i], fields_[i]);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ContactDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ContactDialog::reject);
  form->addRow(buttons);
}

void ContactDialog::accept() {
  const contacts::Contact contact{TrimSpaces(fields_[0]->text()), TrimSpaces(fields_[1]->text()),
                                  TrimSpaces(fields_[2]->text()), TrimSpaces(fields_[3]->text())};
  const std::string refusal = save_ ? save_(contact) : std::string();
  if (!refusal.empty()) {
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(refusal));
    return;
  }
  QDialog::accept();
}

}  // namespace corvina::ui
