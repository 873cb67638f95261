# What `make install` and the Debian package put where, by GNUInstallDirs: the client, the
# package libraries with their SONAME links, the public headers, tabrix.pc, the CMake package,
# the man page, the bash completion, the README and the licence.
include(CMakePackageConfigHelpers)

install(TARGETS tabrix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The client's drawing module, where the client looks for it (tools/CMakeLists.txt).
install(TARGETS tabrix-about LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tabrix)

# Users include the headers as the repository does ("library/TabrixCodeUnit.h"), with
# include/tabrix on their include path.
set(TABRIX_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tabrix)
foreach(package IN ITEMS Tabrix_D4U Tabrix_D5U Tabrix_D6U)
  target_compile_features(${package} INTERFACE cxx_std_17)
endforeach()
install(TARGETS Tabrix_D4U Tabrix_D5U Tabrix_D6U EXPORT TabrixTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${TABRIX_INCLUDEDIR})

# The two public headers and the project headers they include, followed to the end, so that
# exactly what they need is installed; an edit of any of them configures anew.
function(tabrix_public_headers out)
  set(pending ${ARGN})
  set(found "")
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found)
      continue()
    endif()
    list(APPEND found ${header})
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
      ${PROJECT_SOURCE_DIR}/${header})
    file(STRINGS ${PROJECT_SOURCE_DIR}/${header} lines REGEX "^#include \"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      list(APPEND pending ${included})
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
tabrix_public_headers(headers library/TabrixCodeUnit.h component/TabrixCreateUnit.h)
foreach(header IN LISTS headers)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${TABRIX_INCLUDEDIR}/${folder})
endforeach()

# tabrix.pc finds the tree it lies in, so one file serves /usr, any PREFIX and a DESTDIR.
file(RELATIVE_PATH TABRIX_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" TABRIX_PC_PREFIX "${TABRIX_PC_PREFIX}")
configure_file(cmake/tabrix.pc.in ${PROJECT_BINARY_DIR}/install/tabrix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/install/tabrix.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# find_package(Tabrix): Tabrix::Tabrix_D4U, Tabrix::Tabrix_D5U, Tabrix::Tabrix_D6U.
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Tabrix)
install(EXPORT TabrixTargets NAMESPACE Tabrix:: DESTINATION ${cmake_dir})
configure_package_config_file(cmake/TabrixConfig.cmake.in
  ${PROJECT_BINARY_DIR}/install/TabrixConfig.cmake INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/install/TabrixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/install/TabrixConfig.cmake
  ${PROJECT_BINARY_DIR}/install/TabrixConfigVersion.cmake DESTINATION ${cmake_dir})

# tabrix(1), from its scdoc source, compressed as Debian keeps man pages (no timestamp).
find_program(TABRIX_SCDOC scdoc REQUIRED)
set(man ${PROJECT_BINARY_DIR}/docs/tabrix.1)
add_custom_command(OUTPUT ${man}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/docs
  COMMAND ${TABRIX_SCDOC} < ${PROJECT_SOURCE_DIR}/docs/tabrix.1.scd > ${man}
  COMMAND gzip -9nf ${man}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/tabrix.1.scd
  COMMENT "Writing the man page tabrix(1)")
add_custom_target(tabrix_man ALL DEPENDS ${man}.gz)
install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES tools/tabrix/tabrix-completion.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tabrix)

# The licence in Debian's copyright format, made from LICENSE; a changelog, as Debian wants
# one in every package's documentation folder.
file(READ LICENSE licence)
string(REGEX REPLACE "^.*Copyright \\(c\\) ([0-9]+) ([^\n]+)\n\n" "" terms "${licence}")
string(REGEX MATCH "Copyright \\(c\\) ([0-9]+) ([^\n]+)" _ "${licence}")
set(TABRIX_COPYRIGHT "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
string(REGEX REPLACE "\n+$" "" terms "${terms}")
string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REGEX REPLACE "\n" "\n " TABRIX_LICENCE_TERMS " ${terms}")
configure_file(cmake/copyright.in ${PROJECT_BINARY_DIR}/install/copyright @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE)
include(cmake/Package.cmake)
# Dated by the last commit (or SOURCE_DATE_EPOCH), so that the package's bytes do not change
# with each configure.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(commit_time)
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
  endif()
endif()
string(TIMESTAMP TABRIX_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(commit_time)
  unset(ENV{SOURCE_DATE_EPOCH})
endif()
configure_file(cmake/changelog.in ${PROJECT_BINARY_DIR}/install/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/install/changelog.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/install/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/install/changelog)
add_custom_target(tabrix_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/install/changelog.gz)
install(FILES README.md ${PROJECT_BINARY_DIR}/install/copyright
  ${PROJECT_BINARY_DIR}/install/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
