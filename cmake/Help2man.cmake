# Makes the manual page(s) of one program with help2man (cmake -P, from ManualPages.cmake):
#   <PAGE>.1.gz            from `PROGRAM --help`, with packaging/man/<PAGE>.h2m
#   <PAGE>-<command>.1.gz  with SUBCOMMANDS: one page for each command that `PROGRAM --help`
#                          lists (indented lowercase words), from `PROGRAM <command> --help`,
#                          with packaging/man/<PAGE>-command.h2m and, where it exists,
#                          packaging/man/<PAGE>-<command>.h2m
# Variables: PROGRAM, PAGE, SUBCOMMANDS, INCLUDE_DIR, OUTPUT_DIR, HELP2MAN, VERSION,
# DATE_EPOCH (the date printed in the pages: the latest changelog entry's).
cmake_minimum_required(VERSION 3.25)

set(work "${OUTPUT_DIR}/.work-${PAGE}")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}" "${OUTPUT_DIR}")
file(GLOB stale "${OUTPUT_DIR}/${PAGE}.1.gz" "${OUTPUT_DIR}/${PAGE}-*.1.gz")
if(stale)
  file(REMOVE ${stale})
endif()

# The programs run headless and in a fixed locale; the pages carry the release date.
set(ENV{SOURCE_DATE_EPOCH} "${DATE_EPOCH}")
set(ENV{LC_ALL} C.UTF-8)
set(ENV{QT_QPA_PLATFORM} offscreen)
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

# help2man <executable> into <name>.1.gz: written beside and renamed, so a page is whole or absent.
function(make_page name executable summary)
  set(options --no-info "--version-string=${VERSION}" "--output=${work}/${name}.1")
  if(summary)
    list(APPEND options "--name=${summary}")
  endif()
  foreach(include IN LISTS ARGN)
    list(APPEND options "--include=${include}")
  endforeach()
  execute_process(COMMAND "${HELP2MAN}" ${options} "${executable}"
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR errors)
    message(FATAL_ERROR "help2man ${name}: ${errors}")
  endif()
  execute_process(COMMAND gzip -9 -n -c "${work}/${name}.1"
                  OUTPUT_FILE "${work}/${name}.1.gz" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${name}.1 failed")
  endif()
  file(RENAME "${work}/${name}.1.gz" "${OUTPUT_DIR}/${name}.1.gz")
endfunction()

set(includes)
if(EXISTS "${INCLUDE_DIR}/${PAGE}.h2m")
  list(APPEND includes "${INCLUDE_DIR}/${PAGE}.h2m")
endif()

if(SUBCOMMANDS)
  execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
  endif()
  string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" lines "${help}")
  set(see_also)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" command)
    # help2man names a page after the program it runs: a launcher named <PAGE>-<command>.
    set(launcher "${work}/${PAGE}-${command}")
    file(WRITE "${launcher}" "#!/bin/sh\nexec '${PROGRAM}' ${command} \"$@\"\n")
    file(CHMOD "${launcher}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    # The summary is the second line of the command's help: "Usage: ...\n<summary>\n".
    execute_process(COMMAND "${launcher}" --help OUTPUT_VARIABLE command_help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} ${command} --help failed")
    endif()
    string(REGEX MATCH "^[^\n]*\n([^\n]+)" ignored "${command_help}")
    string(REGEX REPLACE "\\.$" "" summary "${CMAKE_MATCH_1}")
    string(SUBSTRING "${summary}" 0 1 first)
    string(SUBSTRING "${summary}" 1 -1 rest)
    string(TOLOWER "${first}" first)
    set(command_includes "${INCLUDE_DIR}/${PAGE}-command.h2m")
    if(EXISTS "${INCLUDE_DIR}/${PAGE}-${command}.h2m")
      list(PREPEND command_includes "${INCLUDE_DIR}/${PAGE}-${command}.h2m")
    endif()
    make_page("${PAGE}-${command}" "${launcher}" "${first}${rest}" ${command_includes})
    string(APPEND see_also ".BR ${PAGE}\\-${command} (1),\n")
  endforeach()
  if(NOT see_also)
    message(FATAL_ERROR "${PROGRAM} --help lists no commands")
  endif()
  # First, so that the command pages open SEE ALSO.
  file(WRITE "${work}/commands.h2m" "[SEE ALSO]\n${see_also}")
  list(PREPEND includes "${work}/commands.h2m")
endif()

make_page("${PAGE}" "${PROGRAM}" "" ${includes})
file(REMOVE_RECURSE "${work}")
