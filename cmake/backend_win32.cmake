# Direct3D 9, DirectInput 7, GDI, Uniscribe and user32 (Windows). d3d9.dll, DINPUT.DLL
# and dwmapi.dll are loaded at run time; dxguid is a static archive of GUIDs,
# so nothing beyond Windows' own DLLs is linked.
file(GLOB WT_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/display/backends/win32/*.cpp)
if(WT_WIN32_SOURCES)
  wordtap_module(wt_backend_win32 ${WT_WIN32_SOURCES})
  # usp10 before gdi32: some import libraries of gdi32 name the Script* calls too,
  # and older Windows has them in usp10.dll only.
  target_link_libraries(wt_backend_win32 PUBLIC usp10 gdi32 user32 winmm dxguid)
endif()
