// The checks of the contact dialog's Save, shared by the window and the console.
#pragma once

#include <optional>
#include <string>

#include "contacts/contact_store.h"

namespace corvina::contacts {

inline constexpr const char* kInvalidEmailText = "The email address is invalid. Please correct.";
inline constexpr const char* kInvalidNameText = "The Username is Invalid.";
inline constexpr const char* kDuplicateNameText =
    "There is another contact with the same name already exists. Please use another name.";

// An address with an "@" that is not first, its last "." after its last "@", and at least two
// characters after that ".".
bool IsValidEmail(const std::string& email);

// Strips leading and trailing spaces (code 32) from the fields, then checks them: the refusal
// text, or nothing when `contact` may be stored (at `editedIndex`, or as a new contact).
std::optional<std::string> CheckContact(ContactStore& store, Contact& contact,
                                        std::optional<std::size_t> editedIndex);

// Checks and stores the contact: the refusal text, or nothing when it was stored. A failed
// write is reported as a refusal too.
std::optional<std::string> SaveContact(ContactStore& store, Contact contact,
                                       std::optional<std::size_t> editedIndex);

}  // namespace corvina::contacts
