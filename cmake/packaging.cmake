# What a lab downloads: a .deb for Debian and Ubuntu (CPack) from the Linux
# build, a .zip with the .exe from the Windows build. Both carry the guide.
set(WT_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)

if(WIN32)
  install(TARGETS wordtap RUNTIME DESTINATION .)
  install(FILES docs/guide.txt DESTINATION .)
  set(WT_ZIP ${WT_DIST_DIR}/wordtap-${PROJECT_VERSION}-windows-x64.zip)
  # CMake writes the zip itself: no zip tool needed on the build machine.
  add_custom_target(dist_zip
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WT_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/guide.txt guide.txt
    COMMAND ${CMAKE_COMMAND} -E rm -f ${WT_ZIP}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${WT_ZIP} --format=zip wordtap.exe guide.txt
    DEPENDS wordtap
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "Packing ${WT_ZIP}")
  return()
endif()

install(TARGETS wordtap RUNTIME DESTINATION bin)
install(FILES docs/guide.txt README.md DESTINATION share/doc/wordtap)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wordtap)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${WT_DIST_DIR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lexical-decision experiment with millisecond reaction times")
set(CPACK_PACKAGE_CONTACT "wordtap developers <wordtap@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # wordtap_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Carlito gives the texts the metrics they have on Windows; the rest is what
# the program links against. The Noto fonts cover the other writing systems.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libsdl2-2.0-0, libfreetype6, libfontconfig1, libharfbuzz0b, libfribidi0, libx11-6, fonts-crosextra-carlito")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-core, fonts-noto-cjk")
include(CPack)
