# GoogleTest for a cross build: the host's libraries are built for Linux, so
# Debian's sources (package googletest) are built with the cross compiler.
set(WT_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built for cross test builds")
if(NOT EXISTS ${WT_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${WT_GTEST_SOURCE} (Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Its own code is not held to our warnings.
get_directory_property(wt_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${WT_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${wt_options}")
