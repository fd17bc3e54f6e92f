# The idle benchmark runs the real program beside baresip, both registered with Kamailio; its
# registrar configuration grants ten minutes.
target_link_libraries(${name} PRIVATE corvina_platform)
target_compile_definitions(${name} PRIVATE CORVINA_BINARY="$<TARGET_FILE:corvina>"
                                           CORVINA_INTEROP_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_dependencies(${name} corvina)
