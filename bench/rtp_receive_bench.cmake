# The receive-side benchmark runs the jitter buffer and playout of corvina_media on a fake clock.
target_link_libraries(${name} PRIVATE corvina_media)
