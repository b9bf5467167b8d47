# FLI/FLC animations are decoded with FFmpeg's libraries. GLOBAL so that the
# test programs, linked in another folder, see the imported target too.
pkg_check_modules(LUMENTA_FLIC_AV REQUIRED IMPORTED_TARGET GLOBAL
                  libavformat libavcodec libswscale libavutil)
target_link_libraries(lumenta_core PRIVATE PkgConfig::LUMENTA_FLIC_AV)
