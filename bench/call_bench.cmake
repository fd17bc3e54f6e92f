# The call benchmark runs two real phones, then two baresips, on loopback.
target_link_libraries(${name} PRIVATE corvina_platform)
target_compile_definitions(${name} PRIVATE CORVINA_BINARY="$<TARGET_FILE:corvina>")
add_dependencies(${name} corvina)
