# The Windows half of the build: included by the top-level CMakeLists.txt
# when the target is Windows, after the tavrin_core and tavrin targets.

# A GUI-subsystem program: no console window flashes when a setup or
# Explorer starts it. Version resource and manifest embedded.
set_target_properties(tavrin PROPERTIES WIN32_EXECUTABLE ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAVRIN_MANIFEST_ARCH x86)
else()
  set(TAVRIN_MANIFEST_ARCH amd64)
endif()
set(TAVRIN_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/tavrin.manifest)
configure_file(src/platform/win32/tavrin.manifest.in ${TAVRIN_MANIFEST} @ONLY)
configure_file(src/platform/win32/tavrin.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tavrin.rc @ONLY)
target_sources(tavrin PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tavrin.rc)
if(NOT MSVC)
  # Whatever links the core (the tests too) must run with no MinGW
  # runtime DLLs beside it.
  target_link_options(tavrin_core INTERFACE -static)
  target_link_options(tavrin PRIVATE $<$<CONFIG:Release>:-s>)
  # The same bytes from every build of one commit, wherever it is built, so
  # that an administrator's allowlist can name the program by its hash: no
  # time stamp in the PE header (the linker's default puts one there, and
  # the header's checksum then differs too), no build folder in the code.
  target_link_options(tavrin PRIVATE -Wl,--no-insert-timestamp)
  target_compile_options(tavrin_core PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                                             -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  target_compile_options(tavrin PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                                        -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Windows XP (5.1) refuses to load a program that asks for a newer
    # subsystem or system version.
    target_link_options(tavrin PRIVATE
      -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
      -Wl,--major-os-version,5,--minor-os-version,1)
  endif()
endif()

# Signing, optional: with a code-signing certificate the exe that the build
# leaves, and so the one that cpack packs, carries an Authenticode signature
# (docs/windows.md, "Signed builds"), so that an allowlist can trust it by its
# publisher. Without the two variables nothing changes.
set(TAVRIN_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate, its chain and its key: tavrin.exe is signed")
set(TAVRIN_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File that holds the password of TAVRIN_SIGN_PKCS12 (the password is read from it, never copied)")
set(TAVRIN_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time stamp server for the signature (optional; needs the network)")
option(TAVRIN_SIGN_SHA1_FIRST
       "Sign with SHA-1 first and nest the SHA-256 signature, for Windows XP's signature check" OFF)
if(TAVRIN_SIGN_PKCS12 OR TAVRIN_SIGN_PASSWORD_FILE)
  foreach(variable TAVRIN_SIGN_PKCS12 TAVRIN_SIGN_PASSWORD_FILE)
    if(NOT EXISTS "${${variable}}")
      message(FATAL_ERROR "Signing needs both TAVRIN_SIGN_PKCS12 and TAVRIN_SIGN_PASSWORD_FILE, "
                          "each an existing file; ${variable} is '${${variable}}'")
    endif()
  endforeach()
  find_program(TAVRIN_OSSLSIGNCODE osslsigncode REQUIRED)
  find_program(TAVRIN_OPENSSL openssl REQUIRED)
  add_custom_command(TARGET tavrin POST_BUILD
                     COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/cmake/sign_exe.sh
                             ${TAVRIN_OSSLSIGNCODE} ${TAVRIN_OPENSSL} $<TARGET_FILE:tavrin>
                             ${TAVRIN_SIGN_PKCS12} ${TAVRIN_SIGN_PASSWORD_FILE}
                             $<BOOL:${TAVRIN_SIGN_SHA1_FIRST}> ${TAVRIN_SIGN_TIMESTAMP_URL}
                     VERBATIM)
  # The linker's bytes, which every build of a commit has alike.
  set(TAVRIN_UNSIGNED_EXE $<TARGET_FILE_DIR:tavrin>/tavrin-unsigned.exe)
else()
  set(TAVRIN_UNSIGNED_EXE $<TARGET_FILE:tavrin>)
endif()

if(CMAKE_OBJDUMP)
  # From its headers: tavrin.exe loads on every Windows it is for (see the
  # script). Cheap, and needs no Windows, so every Windows build has it.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(TAVRIN_EXE_CHECK x86 ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows_exe/absent_exports.txt)
  else()
    set(TAVRIN_EXE_CHECK x64)
  endif()
  add_test(NAME WindowsProgram.LoadsOnEveryWindowsItIsFor
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows_exe/check_exe.sh
                   ${CMAKE_OBJDUMP} $<TARGET_FILE:tavrin> ${TAVRIN_EXE_CHECK})
endif()

if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND TAVRIN_BUILD_TESTS)
  # The shipped program: built again elsewhere, without the tests and
  # signed, it must have the same bytes, but for the signature, and the
  # signing must hold its promises (see the script). It builds, so it takes
  # a minute.
  add_test(NAME WindowsProgram.IsTheSameBytesFromEveryBuildSignedOrNot
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows_exe/check_shipped_build.sh
                   ${CMAKE_COMMAND} ${CMAKE_CPACK_COMMAND} ${CMAKE_CURRENT_SOURCE_DIR} windows-x86
                   ${TAVRIN_UNSIGNED_EXE} ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

if(CMAKE_CROSSCOMPILING)
  # Windows programs of this build (the tests, test discovery) run under
  # Wine through wine-run.sh. The host's Wine runs 64-bit programs; 32-bit
  # ones run under Debian 13's Wine in its WoW64 mode, in the chroot that
  # scripts/wow64.sh prepares, since this kernel cannot start the 32-bit
  # Linux programs of the usual 32-bit Wine.
  set(TAVRIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(TAVRIN_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(TAVRIN_WINE_CHROOT ON)
  else()
    set(TAVRIN_WINE_CHROOT OFF)
  endif()
  configure_file(cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                 WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

set(CPACK_PACKAGE_FILE_NAME tavrin-${PROJECT_VERSION}-win64)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CPACK_PACKAGE_FILE_NAME tavrin-${PROJECT_VERSION}-win32)
endif()
