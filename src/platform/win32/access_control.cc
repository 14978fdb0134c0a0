#include "platform/file.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <aclapi.h>

#include <string>

#include "platform/file.h"
#include "platform/system_error.h"
#include "platform/win32/event_log.h"
#include "platform/win32/faults.h"
#include "platform/win32/held_files.h"

namespace platform {

// The old file's security descriptor as GetSecurityInfo gives it (its DACL
// points into it), and its creation time; or why they could not be read.
struct AccessControl::Carried {
  Carried() = default;
  Carried(const Carried&) = delete;
  Carried& operator=(const Carried&) = delete;
  ~Carried() {
    if (descriptor != nullptr) LocalFree(descriptor);
  }

  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  bool dacl_protected = false;
  DWORD dacl_error = 0;
  FILETIME created{};
};

namespace {

// Whether the volume of `path` keeps permissions: FAT and exFAT have none,
// and a DACL set there fails. Where it cannot be told, it counts as keeping
// them, and a failure to set them is reported.
bool VolumeKeepsPermissions(const std::string& path) {
  char root[MAX_PATH];
  DWORD flags = 0;
  if (InjectedFault("volume-information", path) ||
      !GetVolumePathNameA(path.c_str(), root, sizeof root) ||
      !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    return true;
  return flags & FILE_PERSISTENT_ACLS;
}

constexpr const char* kKeepsWhatItGot = "it keeps what Windows gave it";

void Warn(const std::string& action, const std::string& path, DWORD code,
          const std::string& outcome) {
  LogEvent(EVENTLOG_WARNING_TYPE, kWarningEventId,
           std::string(MakeSystemError(action, path, code).what()) + "; " + outcome);
}

DWORD SetCreationTime(const std::string& path, const FILETIME& created) {
  // Writing attributes needs no write access to the data, so a read-only
  // file takes it; others may have the file open meanwhile.
  DWORD code = 0;
  const HANDLE file = OpenWhileHeld("open-attributes", path, FILE_WRITE_ATTRIBUTES, kShareAll,
                                    OPEN_EXISTING, 0, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  code = FaultOrCall("set-creation-time", path,
                     [&] { return SetFileTime(file, &created, nullptr, nullptr); });
  CloseHandle(file);
  return code;
}

// Sets `dacl` as the file's own, protected from inheritance or inheriting
// from its directory as the old file's was. SetNamedSecurityInfo takes the
// protection flags and, unlike SetFileSecurity, recomputes the inherited
// entries from the directory.
DWORD SetDacl(const std::string& path, PACL dacl, bool dacl_protected) {
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION | (dacl_protected ? PROTECTED_DACL_SECURITY_INFORMATION
                                                  : UNPROTECTED_DACL_SECURITY_INFORMATION);
  std::string name = path;  // the function takes a pointer to non-const
  return RetryWhileHeld([&] {
    if (const DWORD fault = InjectedFault("carry-access-control", path)) return fault;
    return SetNamedSecurityInfoA(&name[0], SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
  });
}

}  // namespace

AccessControl AccessControl::Of(const File& file, const FileFacts& facts) {
  auto carried = std::make_shared<Carried>();
  const HANDLE handle = reinterpret_cast<HANDLE>(file.handle_);
  // A file opened for reading may be asked for its DACL (GENERIC_READ holds
  // READ_CONTROL); its creation time is one of the facts.
  carried->dacl_error = InjectedFault("get-security", file.path_);
  if (carried->dacl_error == 0)
    carried->dacl_error =
        GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &carried->dacl, nullptr, &carried->descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (carried->dacl_error == 0 &&
      !GetSecurityDescriptorControl(carried->descriptor, &control, &revision))
    carried->dacl_error = GetLastError();
  carried->dacl_protected = control & SE_DACL_PROTECTED;
  carried->created.dwLowDateTime = static_cast<DWORD>(facts.created);
  carried->created.dwHighDateTime = static_cast<DWORD>(facts.created >> 32);
  return AccessControl(carried);
}

bool AccessControl::CarryTo(const std::string& path, const std::string& noun) const noexcept {
  try {
    if (!carried_) return false;
    // The time first: the DACL may take away the right to write it. Wine
    // takes the read-only attribute away with either; the caller gives it
    // back.
    CarryCreationTime(path, noun);
    CarryDacl(path, noun);
  } catch (...) {
    // Out of memory: nothing more is carried.
  }
  return true;
}

void AccessControl::CarryCreationTime(const std::string& path, const std::string& noun) const {
  if (const DWORD code = SetCreationTime(path, carried_->created))
    Warn("cannot carry the old " + noun + "'s creation time to", path, code, kKeepsWhatItGot);
}

void AccessControl::CarryDacl(const std::string& path, const std::string& noun) const {
  // A null DACL, which lets everybody do anything, is not handed on. The
  // old file had none where its volume keeps none (FAT): the volume is asked
  // only where the DACL was not carried.
  DWORD code = carried_->dacl_error;
  if (code == 0 && carried_->dacl != nullptr)
    code = SetDacl(path, carried_->dacl, carried_->dacl_protected);
  if (code != 0 && VolumeKeepsPermissions(path))
    Warn("cannot carry the old " + noun + "'s permissions (DACL) to", path, code, kKeepsWhatItGot);
}

}  // namespace platform
