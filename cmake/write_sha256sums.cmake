# Run by cpack once the package's files are staged, and so after tavrin.exe
# is signed (CPACK_PRE_BUILD_SCRIPTS): writes SHA256SUMS beside them, a line
# for each file but itself, in the form that `sha256sum -c` reads, so that a
# copy can be checked file by file where it is deployed.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${CPACK_TEMPORARY_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(name IN LISTS files)
  file(SHA256 "${CPACK_TEMPORARY_DIRECTORY}/${name}" sum)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE "${CPACK_TEMPORARY_DIRECTORY}/SHA256SUMS" "${sums}")
