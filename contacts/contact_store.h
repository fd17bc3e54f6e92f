// The address book behind one interface: a list of contacts with a cursor. Indices run
// 0 .. Count()-1 in store order; identifiers are small non-negative numbers unique within the
// store and reused after a delete. Single-threaded: the owner calls it from one thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace corvina::contacts {

// One contact. Each field is UTF-8 text of at most 259 UTF-16 units (longer text is cut).
struct Contact {
  std::string firstName;
  std::string lastName;
  std::string phone;  // a number or a SIP address
  std::string email;
  friend bool operator==(const Contact&, const Contact&) = default;
};

// "first last", or empty when both are empty (only a last name gives a leading space, only a
// first name a trailing one); at most 520 units.
std::string DisplayName(const std::string& firstName, const std::string& lastName);

class ContactStore {
 public:
  // Destroying the store flushes what it has not written yet.
  virtual ~ContactStore() = default;

  // Appends a contact; returns its index, or -1 when the file could not be written (then
  // nothing changed, on disk or in memory).
  virtual int Add(const Contact& contact) = 0;
  // Appends several contacts with one write; the number added (all, or 0 when the write
  // failed).
  virtual std::size_t AddAll(const std::vector<Contact>& contacts);
  // Removes the contact with this identifier. An unknown identifier, or an empty store,
  // changes nothing and returns false.
  virtual bool Delete(long id) = 0;
  // Replaces the fields of the contact at `index`; false for an index out of range or a
  // failed write.
  virtual bool Update(std::size_t index, const Contact& contact) = 0;

  // The cursor.
  virtual void Rewind() = 0;
  virtual void Advance() = 0;
  virtual long CurrentId() = 0;
  virtual std::size_t Count() = 0;
  virtual std::size_t Position() const = 0;
  // True when index < Count(); the cursor then stands on that entry.
  virtual bool Seek(std::size_t index) = 0;

  // Fields of the cursor's entry (empty past the end).
  virtual std::string FirstName() = 0;
  virtual std::string LastName() = 0;
  virtual std::string Phone() = 0;
  virtual std::string Email() = 0;
  std::string CurrentDisplayName() { return DisplayName(FirstName(), LastName()); }

  // Convenience: the contact at `index` (empty when out of range) and its identifier (-1).
  Contact At(std::size_t index);
  long IdAt(std::size_t index);
};

// Receives the progress of a long operation (the CSV import); the progress window's import
// runner (app/progress) implements it. Called on the thread that runs the operation.
class ProgressCallback {
 public:
  virtual ~ProgressCallback() = default;
  // The operation's title, once at the start ("Importing Contacts").
  virtual void Begin(const std::string& title) = 0;
  // The line shown under the title and the fraction done, 0 .. 1.
  virtual void Update(const std::string& line, double fraction) = 0;
  // True once the user has cancelled; the operation stops at the next row.
  virtual bool Cancelled() = 0;
};

}  // namespace corvina::contacts
