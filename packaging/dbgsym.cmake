# Run by cpack after it made the packages (CPACK_POST_BUILD_SCRIPTS): puts
# the debugging symbols package of CPackDeb (tavori-dbgsym_*.ddeb) in the
# form of Debian's own. CMake's generator lists its files in md5sums by
# their path in its working folder, gives them the executable bit and
# leaves the package without a copyright file; here the sums name the
# installed paths, the symbol files are 0644 and the package's doc folder
# is a link to tavori's, as debhelper makes it.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/dbgsym-tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb cannot unpack ${package}")
  endif()

  file(GLOB_RECURSE symbols "${tree}/usr/lib/debug/*")
  set(sums "")
  foreach(file IN LISTS symbols)
    file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(MD5 "${file}" sum)
    file(RELATIVE_PATH path "${tree}" "${file}")
    string(APPEND sums "${sum}  ${path}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")

  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  get_filename_component(name "${package}" NAME)
  string(REGEX REPLACE "_.*" "" name "${name}")
  string(REGEX REPLACE "-dbgsym$" "" main "${name}")
  file(CREATE_LINK "${main}" "${tree}/usr/share/doc/${name}" SYMBOLIC)

  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${package}"
    OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb cannot pack ${package} again")
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
