target_link_libraries(${name} PRIVATE corvina_mail)
