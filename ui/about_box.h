// The About box (Help > About): product name, version, build and the licences of the
// libraries the phone links. Window-modal and not blocking: the message loop goes on.
#pragma once

#include <QMessageBox>

namespace corvina::ui {

// Opens the box over `parent`; it deletes itself when closed.
QMessageBox* OpenAboutBox(QWidget* parent);

}  // namespace corvina::ui
