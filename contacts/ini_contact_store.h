// The address book kept in a profile file ("contacts.ini" in the data folder), section
// "contacts": entrycount, then entry<i>id, entry<i>firstname, entry<i>lastname, entry<i>phone
// and entry<i>email for 0 <= i < entrycount. Empty fields have no key. entrycount is clamped to
// 0 .. the section's key count, so a corrupt file cannot make a reader loop for long.
#pragma once

#include <memory>
#include <string>

#include "contacts/contact_store.h"
#include "platform/log_sink.h"
#include "platform/settings.h"

namespace corvina::contacts {

class IniContactStore final : public ContactStore {
 public:
  explicit IniContactStore(std::string path);
  ~IniContactStore() override;

  const std::string& Path() const { return path_; }

  int Add(const Contact& contact) override;
  bool Delete(long id) override;
  bool Update(std::size_t index, const Contact& contact) override;
  void Rewind() override { position_ = 0; }
  void Advance() override { ++position_; }
  long CurrentId() override;
  std::size_t Count() override;
  std::size_t Position() const override { return position_; }
  bool Seek(std::size_t index) override;
  std::string FirstName() override { return Field("firstname"); }
  std::string LastName() override { return Field("lastname"); }
  std::string Phone() override { return Field("phone"); }
  std::string Email() override { return Field("email"); }

 private:
  std::string Field(const char* name);

  const std::string path_;
  std::size_t position_ = 0;
};

// The store the settings choose. AddressBookLocation "1" names the device's messaging contacts,
// which this system does not have: that is logged once (level 1) and the file is used.
std::unique_ptr<ContactStore> OpenContactStore(const platform::Settings& settings,
                                               const std::string& dataFolder,
                                               platform::LogSink& log);

}  // namespace corvina::contacts
