# Manual pages, made at build time by help2man from each program's own --help (so they
# follow the program), with the sections --help does not hold (environment, files, see
# also) from packaging/man/<page>.h2m. The pages land gzipped in <build>/man/man1 and
# are installed to share/man/man1. Not in the sanitizer and fuzz builds, whose programs
# are not installed.
#   lw_add_manual_page(<program target> [SUBCOMMANDS])
#     SUBCOMMANDS: also one page <program>-<command>(1) per command the program's --help
#     lists, which `man <program> <command>` finds.
if(LW_SANITIZE OR LW_BUILD_FUZZ)
  set(LW_MANPAGES OFF)
else()
  set(LW_MANPAGES ON)
endif()

if(LW_MANPAGES)
  find_program(LW_HELP2MAN help2man REQUIRED)
  set(LW_MAN_DIR ${CMAKE_BINARY_DIR}/man/man1)
  # The pages carry the date of the latest changelog entry, not the day of the build.
  set(lw_changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
  execute_process(COMMAND dpkg-parsechangelog -l ${lw_changelog} -STimestamp
                  OUTPUT_VARIABLE LW_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${lw_changelog})
  install(DIRECTORY ${LW_MAN_DIR} DESTINATION ${CMAKE_INSTALL_MANDIR}
          FILES_MATCHING PATTERN "*.1.gz")
endif()

function(lw_add_manual_page program)
  if(NOT LW_MANPAGES)
    return()
  endif()
  cmake_parse_arguments(M "SUBCOMMANDS" "" "" ${ARGN})
  set(includes)
  foreach(name ${program} ${program}-command)
    if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
      list(APPEND includes ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
    endif()
  endforeach()
  file(GLOB command_includes ${PROJECT_SOURCE_DIR}/packaging/man/${program}-*.h2m)
  list(APPEND includes ${command_includes})
  set(stamp ${CMAKE_BINARY_DIR}/man/${program}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND}
      -DPROGRAM=$<TARGET_FILE:${program}> -DPAGE=${program} -DSUBCOMMANDS=${M_SUBCOMMANDS}
      -DINCLUDE_DIR=${PROJECT_SOURCE_DIR}/packaging/man -DOUTPUT_DIR=${LW_MAN_DIR}
      -DHELP2MAN=${LW_HELP2MAN} -DVERSION=${PROJECT_VERSION} -DDATE_EPOCH=${LW_RELEASE_EPOCH}
      -P ${PROJECT_SOURCE_DIR}/cmake/Help2man.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/Help2man.cmake ${includes}
    COMMENT "Manual pages of ${program}"
    VERBATIM)
  add_custom_target(${program}-manual-pages ALL DEPENDS ${stamp})
endfunction()
