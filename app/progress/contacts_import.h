// The CSV import of the address book inside a progress window titled "Importing Contacts": the
// name being imported on line 0 and the bar at the share of rows done. The window's input is
// handled after every row, so Cancel (or closing the window) stops the import; the contacts
// added so far stay. The Qt window and the console's `contacts import` both run it.
#pragma once

#include <string>

#include "app/progress/progress_sink.h"
#include "contacts/contact_store.h"

namespace corvina::app {

// The number of contacts added (0 when `window` is already running an operation), or -1 with
// `error` set when the file cannot be read or the address book cannot be written.
long ImportContactsInWindow(ProgressWindow& window, contacts::ContactStore& store, const std::string& path,
                            std::string& error);

}  // namespace corvina::app
