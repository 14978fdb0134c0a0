#!/bin/sh
# Checks, from its headers alone, that tavrin.exe loads on every Windows it is
# for; prints each fault and exits 1 when there is one.
#
#   check_exe.sh OBJDUMP EXE x86 ABSENT_EXPORTS   the shipped 32-bit program:
#       Windows XP SP3 to 11, 32- and 64-bit
#   check_exe.sh OBJDUMP EXE x64                  the 64-bit build that runs
#       the tests under Wine
#
# Both: GUI subsystem, a manifest for the right processor, imports from
# KERNEL32.dll, msvcrt.dll and ADVAPI32.dll only, which every Windows has,
# from ADVAPI32.dll only the functions named below, and no trace of the fault
# injection that only test builds have (its variable TAVRIN_FAULT).
# x86 also: PE32 for i386, subsystem and OS version at most 5.1 (Windows XP's
# loader refuses higher ones), and no import named in ABSENT_EXPORTS (functions
# that some Windows from XP SP3 to 11 lacks) or imported by ordinal.
set -eu
objdump=$1 exe=$2 arch=$3 absent=${4:-/dev/null}

# The ADVAPI32.dll functions that the program may import. Microsoft's page of
# each (learn.microsoft.com/windows/win32/api/...) gives "Minimum supported
# client: Windows XP" (the oldest it names), and mingw-w64's lib32/advapi32.def
# has each among the exports of Windows 2000 or earlier, so none is in
# ABSENT_EXPORTS:
#   event log (winbase.h): RegisterEventSourceA, ReportEventA,
#     DeregisterEventSource;
#   permissions: GetSecurityInfo and SetNamedSecurityInfoA (aclapi.h),
#     GetSecurityDescriptorControl (securitybaseapi.h);
#   the run's turn: ConvertStringSecurityDescriptorToSecurityDescriptorA
#     (sddl.h), for the mutex's DACL.
advapi32="RegisterEventSourceA ReportEventA DeregisterEventSource
GetSecurityInfo SetNamedSecurityInfoA GetSecurityDescriptorControl
ConvertStringSecurityDescriptorToSecurityDescriptorA"
seam=$(grep -a -c TAVRIN_FAULT "$exe" || true)

headers=$("$objdump" -p "$exe")
manifest_arch=$(grep -ao 'processorArchitecture="[^"]*"' "$exe" | head -n 1)

printf '%s\n' "$headers" | awk -v arch="$arch" -v manifest_arch="$manifest_arch" \
    -v list="$absent" -v exe="${exe##*/}" -v advapi32="$advapi32" -v seam="$seam" '
  function fault(text) { print exe ": " text; faults++ }
  BEGIN { n = split(advapi32, names); for (i = 1; i <= n; i++) allowed["ADVAPI32.DLL " names[i]] = 1 }
  FILENAME == list {
    if ($0 !~ /^#/ && NF == 2) absent[toupper($1) " " $2] = 1
    next
  }
  !/^\t/              { dll = "" }
  /file format/        { format = $NF }
  $1 == "Magic"        { magic = $3 }
  $1 == "MajorSubsystemVersion" { sub_major = $2 + 0 }
  $1 == "MinorSubsystemVersion" { sub_minor = $2 + 0 }
  $1 == "MajorOSystemVersion"   { os_major = $2 + 0 }
  $1 == "MinorOSystemVersion"   { os_minor = $2 + 0 }
  $1 == "Subsystem"    { subsystem = $0 }
  /^\tDLL Name:/       { dll = $3; dlls[toupper(dll)] = dll }
  # An import of that DLL: address, hint or ordinal, name ("<none>").
  dll != "" && /^\t[0-9a-f]+\t/ { imports[++count] = dll " " $3 }
  END {
    if (arch == "x86") {
      if (format != "pei-i386" || magic != "(PE32)")
        fault("not a PE32 for i386 (" format ", " magic ")")
      if (sub_major * 100 + sub_minor > 501)
        fault("subsystem version " sub_major "." sub_minor " is above Windows XP'\''s 5.1")
      if (os_major * 100 + os_minor > 501)
        fault("OS version " os_major "." os_minor " is above Windows XP'\''s 5.1")
      want_manifest = "x86"
    } else {
      if (format != "pei-x86-64" || magic != "(PE32+)")
        fault("not a PE32+ for x86-64 (" format ", " magic ")")
      want_manifest = "amd64"
    }
    if (subsystem !~ /Windows GUI/) fault("not a GUI-subsystem program: " subsystem)
    if (manifest_arch != "processorArchitecture=\"" want_manifest "\"")
      fault("manifest is not for " want_manifest ": " (manifest_arch == "" ? "none" : manifest_arch))
    for (name in dlls)
      if (name != "KERNEL32.DLL" && name != "MSVCRT.DLL" && name != "ADVAPI32.DLL")
        fault("imports from " dlls[name])
    if (count == 0) fault("no imports found")
    if (seam > 0) fault("holds the fault injection of test builds (TAVRIN_FAULT)")
    for (i = 1; i <= count; i++) {
      split(imports[i], part, " ")
      if (arch == "x86" && part[2] == "<none>")
        fault("imports by ordinal from " part[1])
      else if (toupper(part[1]) " " part[2] in absent)
        fault("imports " part[1] " " part[2] ", which some Windows from XP SP3 to 11 lacks")
      else if (toupper(part[1]) == "ADVAPI32.DLL" && !((toupper(part[1]) " " part[2]) in allowed))
        fault("imports " part[1] " " part[2] ", not among the ADVAPI32.dll functions checked")
    }
    exit faults > 0
  }
' "$absent" -
