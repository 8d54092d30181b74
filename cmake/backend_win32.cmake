# Direct3D 9, DirectInput 7, GDI and user32 (Windows). d3d9.dll, DINPUT.DLL
# and dwmapi.dll are loaded at run time; dxguid is a static archive of GUIDs,
# so nothing beyond Windows' own DLLs is linked.
file(GLOB WT_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/display/backends/win32/*.cpp)
if(WT_WIN32_SOURCES)
  wordtap_module(wt_backend_win32 ${WT_WIN32_SOURCES})
  target_link_libraries(wt_backend_win32 PUBLIC gdi32 user32 winmm dxguid)
endif()
