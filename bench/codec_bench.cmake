# The codec benchmark measures ours beside spandsp (G.711, G.726) and libgsm (GSM 06.10).
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_SPANDSP REQUIRED IMPORTED_TARGET spandsp)
find_library(BENCH_GSM_LIBRARY gsm REQUIRED)
find_path(BENCH_GSM_INCLUDE_DIR gsm.h PATH_SUFFIXES gsm REQUIRED)
target_include_directories(${name} PRIVATE ${BENCH_GSM_INCLUDE_DIR})
target_link_libraries(${name} PRIVATE corvina_media PkgConfig::BENCH_SPANDSP ${BENCH_GSM_LIBRARY})
