#include "app/progress/contacts_import.h"

#include "contacts/contacts_csv.h"

namespace corvina::app {
namespace {

class SinkProgress final : public contacts::ProgressCallback {
 public:
  explicit SinkProgress(ProgressSink& sink) : sink_(sink) {}
  void Begin(const std::string&) override {}  // the window carries the title
  void Update(const std::string& line, double fraction) override {
    sink_.SetText(line, 0);
    sink_.SetFraction(fraction);
  }
  bool Cancelled() override { return sink_.Pump(); }

 private:
  ProgressSink& sink_;
};

}  // namespace

long ImportContactsInWindow(ProgressWindow& window, contacts::ContactStore& store, const std::string& path,
                            std::string& error) {
  long added = 0;
  window.Run("Importing Contacts", [&](ProgressSink& sink) {
    SinkProgress progress(sink);
    added = contacts::ImportContactsCsv(store, path, &progress, error);
    return added < 0 ? WaitResult::kFailed : WaitResult::kDone;
  });
  return added;
}

}  // namespace corvina::app
