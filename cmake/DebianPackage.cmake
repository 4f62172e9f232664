# SPDX-License-Identifier: MIT
# The Debian packages that `cpack -G DEB` makes: one package for each install
# component named with supctl_deb_package(), before include(CPack). A package
# holds its files as Debian wants them: CPack strips the binaries in its own
# copy (the install rules do not strip, for distributions that keep debug
# symbols apart), man pages go in compressed, and the copyright file and
# changelog are added. These package-only files are installed with
# EXCLUDE_FROM_ALL, so a plain `cmake --install` leaves them out.
# The project packages itself from its own tree, so in Debian's terms the
# packages are native: their version is the project's, with no Debian
# revision, and packaging/changelog, whose top entry names that version, is
# installed as changelog.gz.

set(CPACK_PACKAGE_VENDOR "supctl developers")
set(CPACK_PACKAGE_CONTACT "supctl developers <developers@supctl.org>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
# Directories as Debian has them, whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(CMAKE_CROSSCOMPILING)
  # dpkg-shlibdeps can't read the target's libraries; libc is all it needs.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "arm")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  endif()
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_COMPONENTS_ALL "")

find_program(SUPCTL_GZIP gzip)
if(NOT SUPCTL_GZIP)
  message(WARNING "gzip not found: the Debian package lacks its changelog and man pages")
endif()

# supctl_install_program(TARGET COMPONENT) installs an executable in the bin
# directory. When CPack strips it, its .comment section (the compilers'
# version strings, which strip keeps) goes too.
function(supctl_install_program target component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  supctl_strip_comment(${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}> ${component})
endfunction()

# supctl_strip_comment(FILE COMPONENT): the installed FILE (under the
# prefix) loses its .comment section when the install strips.
function(supctl_strip_comment path component)
  set(file "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${path}")
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment \"${file}\"
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR \"could not strip ${file}\")
    endif()
  endif()" COMPONENT ${component})
endfunction()

# supctl_deb_compressed(COMPONENT SOURCE DESTINATION) installs SOURCE,
# compressed, into DESTINATION in COMPONENT's package, and sets `compressed`
# to the compressed file in the build tree. gzip -9n: the smallest file, and
# the same bytes on every build.
function(supctl_deb_compressed component source destination)
  get_filename_component(name ${source} NAME)
  set(out ${PROJECT_BINARY_DIR}/packaging/${component})
  add_custom_command(OUTPUT ${out}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${out}/${name}
    COMMAND ${SUPCTL_GZIP} -9nf ${out}/${name}
    DEPENDS ${source} VERBATIM)
  install(FILES ${out}/${name}.gz DESTINATION ${destination}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  set(compressed ${out}/${name}.gz PARENT_SCOPE)
endfunction()

# supctl_deb_package(COMPONENT SUMMARY <line> DESCRIPTION <text>
#                    [SECTION <section>] [MAN_PAGES <page>...]
#                    [EXAMPLES <file>...] [DEPENDS <component>...]
#                    [PACKAGE_DEPENDS <package>...] [CONFFILES <path>...]
#                    [SCRIPTS <file>...] [CONTROL <file>...])
# Makes the install component COMPONENT a Debian package of that name.
# DESCRIPTION is the extended description: paragraphs separated by an empty
# line. SECTION replaces the default, utils. EXAMPLES go in the package's
# doc folder, under examples/. DEPENDS names the components whose packages
# this one needs, at the same version; PACKAGE_DEPENDS the Debian packages
# it needs beside the libraries that dpkg-shlibdeps finds. CONFFILES are the
# package's files in /etc, which dpkg keeps as the administrator changed
# them. SCRIPTS are maintainer scripts, each a file named as dpkg wants it
# (postinst, say), written for this package: CPack adds nothing to them.
# CONTROL are further files of the control archive (a library's shlibs,
# symbols and triggers), which CPack does not write itself.
function(supctl_deb_package component)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SUMMARY;DESCRIPTION;SECTION"
    "MAN_PAGES;EXAMPLES;DEPENDS;PACKAGE_DEPENDS;CONFFILES;SCRIPTS;CONTROL")
  string(TOUPPER "${component}" key)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  set(CPACK_DEBIAN_${key}_PACKAGE_NAME ${component} PARENT_SCOPE)
  set(CPACK_DEBIAN_${key}_DESCRIPTION "${arg_SUMMARY}\n${arg_DESCRIPTION}" PARENT_SCOPE)
  set(CPACK_COMPONENT_${key}_DEPENDS ${arg_DEPENDS} PARENT_SCOPE)
  if(arg_SECTION)
    set(CPACK_DEBIAN_${key}_PACKAGE_SECTION ${arg_SECTION} PARENT_SCOPE)
  endif()
  if(arg_PACKAGE_DEPENDS)
    # A package's own Depends replaces the common one, which a cross build
    # sets to libc6.
    list(JOIN arg_PACKAGE_DEPENDS ", " depends)
    if(CPACK_DEBIAN_PACKAGE_DEPENDS)
      string(PREPEND depends "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ")
    endif()
    set(CPACK_DEBIAN_${key}_PACKAGE_DEPENDS ${depends} PARENT_SCOPE)
  endif()
  set(control ${arg_SCRIPTS} ${arg_CONTROL})
  if(arg_CONFFILES)
    set(conffiles ${PROJECT_BINARY_DIR}/packaging/${component}/conffiles)
    list(JOIN arg_CONFFILES "\n" lines)
    file(WRITE ${conffiles} "${lines}\n")
    list(APPEND control ${conffiles})
  endif()
  if(control)
    set(CPACK_DEBIAN_${key}_PACKAGE_CONTROL_EXTRA ${control} PARENT_SCOPE)
    # Scripts 0755, the other control files 0644, as dpkg wants them.
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON PARENT_SCOPE)
  endif()

  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${component})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${docdir} COMPONENT ${component} EXCLUDE_FROM_ALL)
  if(arg_EXAMPLES)
    install(FILES ${arg_EXAMPLES} DESTINATION ${docdir}/examples
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
  if(NOT SUPCTL_GZIP)
    return()
  endif()
  supctl_deb_compressed(${component} ${PROJECT_SOURCE_DIR}/packaging/changelog ${docdir})
  set(outputs ${compressed})
  foreach(page IN LISTS arg_MAN_PAGES)
    string(REGEX MATCH "[0-9]$" section ${page})
    supctl_deb_compressed(${component} ${page} ${CMAKE_INSTALL_MANDIR}/man${section})
    list(APPEND outputs ${compressed})
  endforeach()
  add_custom_target(${component}_package_files ALL DEPENDS ${outputs})
endfunction()
