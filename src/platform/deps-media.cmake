# Sound output, WAV and MIDI playback, audio discs (multimedia control).
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
pkg_check_modules(LIBCDIO REQUIRED IMPORTED_TARGET libcdio)
find_package(Threads REQUIRED)
target_link_libraries(lumenta_core PUBLIC
  PkgConfig::SDL2 PkgConfig::SNDFILE PkgConfig::FLUIDSYNTH PkgConfig::LIBCDIO
  Threads::Threads ${CMAKE_DL_LIBS})
