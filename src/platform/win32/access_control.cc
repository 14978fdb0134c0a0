#include "platform/file.h"

#include <aclapi.h>

#include "platform/file.h"
#include "platform/win32/event_log.h"
#include "platform/win32/faults.h"

namespace platform {

// The old file's security descriptor as GetSecurityInfo gives it (its DACL
// points into it), and its creation time; or why they could not be read.
struct AccessControl::Carried {
  std::unique_ptr<void, decltype(&LocalFree)> descriptor{nullptr, &LocalFree};
  PACL dacl = nullptr;
  // The DACL, protected from inheritance or inheriting, as the old file's.
  SECURITY_INFORMATION dacl_kind = 0;
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
  return InjectedFault("volume-information", path) ||
         !GetVolumePathNameA(path.c_str(), root, sizeof root) ||
         !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
         flags & FILE_PERSISTENT_ACLS;
}

void Warn(const std::string& action, const std::string& path, DWORD code) {
  LogEvent(EVENTLOG_WARNING_TYPE, std::string(MakeSystemError(action, path, code).what()) +
                                      "; it keeps what Windows gave it");
}

}  // namespace

AccessControl AccessControl::Of(const File& file, const FileFacts& facts) {
  auto carried = std::make_shared<Carried>();
  // A file opened for reading may be asked for its DACL (GENERIC_READ holds
  // READ_CONTROL); its creation time is one of the facts.
  DWORD& error = carried->dacl_error = InjectedFault("get-security", file.path_);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (error == 0)
    error = GetSecurityInfo(reinterpret_cast<HANDLE>(file.handle_), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &carried->dacl, nullptr,
                            &descriptor);
  carried->descriptor.reset(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (error == 0 && !GetSecurityDescriptorControl(descriptor, &control, &revision))
    error = GetLastError();
  carried->dacl_kind = DACL_SECURITY_INFORMATION |
                       (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION
                                                    : UNPROTECTED_DACL_SECURITY_INFORMATION);
  carried->created = {static_cast<DWORD>(facts.created), static_cast<DWORD>(facts.created >> 32)};
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
  // Writing attributes needs no write access to the data, so a read-only
  // file takes it; others may have the file open meanwhile.
  DWORD code = 0;
  const HANDLE file = OpenWhileHeld("open-attributes", path, FILE_WRITE_ATTRIBUTES, kShareAll,
                                    OPEN_EXISTING, 0, &code);
  if (file != INVALID_HANDLE_VALUE) {
    code = FaultOrCall("set-creation-time", path,
                       [&] { return SetFileTime(file, &carried_->created, nullptr, nullptr); });
    CloseHandle(file);
  }
  if (code) Warn("cannot carry the old " + noun + "'s creation time to", path, code);
}

void AccessControl::CarryDacl(const std::string& path, const std::string& noun) const {
  // A null DACL, which lets everybody do anything, is not handed on. The
  // old file had none where its volume keeps none (FAT): the volume is asked
  // only where the DACL was not carried. SetNamedSecurityInfo takes the
  // protection flags and, unlike SetFileSecurity, recomputes the inherited
  // entries from the directory.
  DWORD code = carried_->dacl_error;
  if (code == 0 && carried_->dacl != nullptr)
    code = RetryWhileHeld([&] {
      if (const DWORD fault = InjectedFault("carry-access-control", path)) return fault;
      // The function takes a pointer to non-const, and leaves the name as it is.
      return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                                   carried_->dacl_kind, nullptr, nullptr, carried_->dacl, nullptr);
    });
  if (code != 0 && VolumeKeepsPermissions(path))
    Warn("cannot carry the old " + noun + "'s permissions (DACL) to", path, code);
}

}  // namespace platform
