# corvina_library(NAME [RECURSE] DEPS ...) makes the static library of the current folder from
# every *.cpp in it (RECURSE: and in its feature subfolders) except entry points (*_main.cpp),
# linked to the libraries it stands on.
function(corvina_library name)
  cmake_parse_arguments(L "RECURSE" "" "DEPS" ${ARGN})
  if(L_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  list(FILTER srcs EXCLUDE REGEX "_main\\.cpp$")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${L_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_DEPS})
  endif()
endfunction()

# corvina_folder_tests(NAME LIBS ...) builds every *_test.cpp of the current folder into one
# GoogleTest program labelled "unit", except *_process_test.cpp (tests that start other
# processes), which become NAME_process labelled "process". LAUNCHER: the command the unit test
# program runs under.
function(corvina_folder_tests name)
  cmake_parse_arguments(T "" "" "LIBS;LABELS;LAUNCHER" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  set(processSrcs ${srcs})
  list(FILTER srcs EXCLUDE REGEX "_process_test\\.cpp$")
  list(FILTER processSrcs INCLUDE REGEX "_process_test\\.cpp$")
  if(srcs)
    corvina_add_unit_test(${name} SOURCES ${srcs} LIBS ${T_LIBS} LABELS ${T_LABELS} LAUNCHER ${T_LAUNCHER})
  endif()
  if(processSrcs)
    corvina_add_unit_test(${name}_process PROCESS SOURCES ${processSrcs} LIBS ${T_LIBS} LABELS ${T_LABELS})
  endif()
endfunction()
