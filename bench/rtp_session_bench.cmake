# The whole-call benchmark runs the voice sender, jitter buffer and playout of corvina_media.
target_link_libraries(${name} PRIVATE corvina_media)
