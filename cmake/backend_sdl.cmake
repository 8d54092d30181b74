# SDL2 for the window, surface and keyboard; fontconfig, FriBidi, HarfBuzz and
# FreeType for text.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WT_SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(WT_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(WT_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(WT_HARFBUZZ REQUIRED IMPORTED_TARGET harfbuzz)
pkg_check_modules(WT_FRIBIDI REQUIRED IMPORTED_TARGET fribidi)
# To ask the X server whether a window manager or a compositor runs, and to
# type keys into the program's own window for the timing check (XTest).
pkg_check_modules(WT_X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(WT_XTST REQUIRED IMPORTED_TARGET xtst)
file(GLOB WT_SDL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/display/backends/sdl/*.cpp)
if(WT_SDL_SOURCES)
  wordtap_module(wt_backend_sdl ${WT_SDL_SOURCES})
  # wt_text, wt_text_os: window titles and face names in the legacy code page.
  target_link_libraries(wt_backend_sdl PUBLIC PkgConfig::WT_SDL2 PkgConfig::WT_FREETYPE
                        PkgConfig::WT_FONTCONFIG PkgConfig::WT_HARFBUZZ PkgConfig::WT_FRIBIDI
                        PkgConfig::WT_X11 PkgConfig::WT_XTST wt_text wt_text_os)
  # The error box ends early on a stop request.
  target_link_libraries(wt_backend_sdl PUBLIC wt_process_os)
endif()
