find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBRE REQUIRED IMPORTED_TARGET libre)
pkg_check_modules(SOFIA REQUIRED IMPORTED_TARGET sofia-sip-ua)
target_link_libraries(${name} PRIVATE corvina_sip PkgConfig::LIBRE PkgConfig::SOFIA)
