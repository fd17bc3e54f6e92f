# The RTP send benchmark measures the voice sender of corvina_media.
target_link_libraries(${name} PRIVATE corvina_media)
