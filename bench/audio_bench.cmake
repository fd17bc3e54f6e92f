# The audio processing benchmark measures the echo suppressor and the gain control of corvina_media.
target_link_libraries(${name} PRIVATE corvina_media)
