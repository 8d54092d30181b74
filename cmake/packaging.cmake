# What a lab downloads: a .deb for Debian and Ubuntu (CPack) from the Linux
# build, a .zip with the .exe and the timing check's double-click file from the
# Windows build. Both carry the guide.
set(WT_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)

if(WIN32)
  install(TARGETS wordtap RUNTIME DESTINATION .)
  install(FILES docs/guide.txt LICENSE program/timing-check.cmd DESTINATION .)
  set(WT_ZIP ${WT_DIST_DIR}/wordtap-${PROJECT_VERSION}-windows-x64.zip)
  set(WT_ZIP_ROOT wordtap-${PROJECT_VERSION})
  # One folder at the top, so that unpacking never scatters files; the texts
  # with CR LF for Notepad; the licence with the notices of the runtime
  # libraries linked into the .exe. CMake writes the zip itself: no zip tool
  # needed on the build machine.
  add_custom_target(dist_zip
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${WT_ZIP_ROOT} ${WT_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WT_DIST_DIR} ${WT_ZIP_ROOT}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wordtap> ${WT_ZIP_ROOT}/
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/docs/guide.txt -DOUT=${WT_ZIP_ROOT}/guide.txt
            -P ${PROJECT_SOURCE_DIR}/cmake/text_for_windows.cmake
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/LICENSE$<SEMICOLON>${PROJECT_SOURCE_DIR}/docs/third-party-windows.txt
            -DOUT=${WT_ZIP_ROOT}/LICENSE -P ${PROJECT_SOURCE_DIR}/cmake/text_for_windows.cmake
    # The timing check for a lab without a command line: a double-click.
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/program/timing-check.cmd ${WT_ZIP_ROOT}/
    COMMAND ${CMAKE_COMMAND} -E tar cf ${WT_ZIP} --format=zip ${WT_ZIP_ROOT}
    DEPENDS wordtap
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "Packing ${WT_ZIP}"
    VERBATIM)
  return()
endif()

install(TARGETS wordtap RUNTIME DESTINATION bin)
install(FILES docs/guide.txt README.md docs/copyright DESTINATION share/doc/wordtap)
# The man page and the changelog go compressed, as Debian's policy asks;
# -n keeps the build reproducible.
set(VERSION ${PROJECT_VERSION})
configure_file(docs/wordtap.1 wordtap.1 @ONLY)
find_program(WT_GZIP gzip REQUIRED)
add_custom_command(OUTPUT wordtap.1.gz changelog.gz
  COMMAND ${WT_GZIP} -9nc wordtap.1 > wordtap.1.gz
  COMMAND ${WT_GZIP} -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/wordtap.1 ${PROJECT_SOURCE_DIR}/docs/changelog)
add_custom_target(man_page ALL DEPENDS wordtap.1.gz changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/wordtap.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION share/doc/wordtap)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wordtap)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${WT_DIST_DIR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lexical-decision experiment with millisecond reaction times")
set(CPACK_PACKAGE_DESCRIPTION "wordtap shows words one at a time on a white screen; the participant
answers with W (a word) or O (not a word). Each answer is written at once,
with its reaction time, to a tab-separated results file.")
set(CPACK_PACKAGE_CONTACT "The wordtap developers <wordtap@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # wordtap_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtime versions the build needs, found by dpkg-shlibdeps:
# apt then refuses a system too old for the program instead of leaving it
# unable to start.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Carlito gives the texts the metrics they have on Windows; the libraries
# come from the shlibdeps above. The Noto fonts cover the other writing
# systems.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-crosextra-carlito")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-core, fonts-noto-cjk")
include(CPack)
