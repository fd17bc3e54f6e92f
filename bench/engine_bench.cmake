# The engine benchmark drives the real program from other processes (SIPp, baresip and a
# registrar of its own on loopback).
target_link_libraries(${name} PRIVATE corvina_platform)
target_compile_definitions(${name} PRIVATE CORVINA_BINARY="$<TARGET_FILE:corvina>")
add_dependencies(${name} corvina)
