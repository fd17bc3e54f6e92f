# The contacts benchmark measures the CSV import of corvina_contacts.
target_link_libraries(${name} PRIVATE corvina_contacts)
