find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBRE REQUIRED IMPORTED_TARGET libre)
target_link_libraries(${name} PRIVATE corvina_sip PkgConfig::LIBRE)
