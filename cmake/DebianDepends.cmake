# Run by cpack after it has installed the package's files into its staging folder: adds the
# shared libraries the programs and libldv32.so need to the package's Depends, as
# dpkg-shlibdeps finds them (libraries of the private folder count as the package's own).
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(private "${stage}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_LW_PRIVATE_DIR}")
file(GLOB_RECURSE candidates LIST_DIRECTORIES false "${stage}/*")
set(elf_files)
foreach(file IN LISTS candidates)
  if(NOT IS_SYMLINK "${file}")
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      list(APPEND elf_files "${file}")
    endif()
  endif()
endforeach()
if(NOT elf_files)
  message(FATAL_ERROR "DebianDepends: no programs in ${stage}")
endif()

# dpkg-shlibdeps works in a source tree, on files in a package folder debian/<package>/
# (marked by its DEBIAN folder): give it the smallest such tree, whose package folder
# links to the staged files.
set(tree "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(REMOVE_RECURSE "${tree}")
file(MAKE_DIRECTORY "${tree}/debian/${CPACK_PACKAGE_NAME}/DEBIAN")
file(WRITE "${tree}/debian/control" "")
file(GLOB top_folders RELATIVE "${stage}" "${stage}/*")
foreach(folder IN LISTS top_folders)
  file(CREATE_LINK "${stage}/${folder}" "${tree}/debian/${CPACK_PACKAGE_NAME}/${folder}" SYMBOLIC)
endforeach()
set(arguments)
foreach(file IN LISTS elf_files)
  file(RELATIVE_PATH file "${stage}" "${file}")
  list(APPEND arguments "debian/${CPACK_PACKAGE_NAME}/${file}")
endforeach()
file(RELATIVE_PATH private "${stage}" "${private}")
execute_process(COMMAND dpkg-shlibdeps -O "-ldebian/${CPACK_PACKAGE_NAME}/${private}" ${arguments}
                WORKING_DIRECTORY "${tree}"
                OUTPUT_VARIABLE substvars ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR warnings)
  message(FATAL_ERROR "dpkg-shlibdeps failed:\n${warnings}")
endif()
if(NOT substvars MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps found no libraries:\n${substvars}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
file(REMOVE_RECURSE "${tree}")
