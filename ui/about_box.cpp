#include "ui/about_box.h"

#include "platform/product.h"
#include "platform/product_info.h"

namespace corvina::ui {

QMessageBox* OpenAboutBox(QWidget* parent) {
  auto* box = new QMessageBox(QMessageBox::Information, QString("About ") + CORVINA_NAME,
                              QString::fromStdString(platform::AboutText(qVersion())), QMessageBox::Ok, parent);
  box->setObjectName("about");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
  return box;
}

}  // namespace corvina::ui
