#ifndef TAVRIN_PLATFORM_REPLACEMENT_H_
#define TAVRIN_PLATFORM_REPLACEMENT_H_

#include <functional>
#include <optional>
#include <string>

#include "platform/file.h"
#include "platform/run_turn.h"
#include "platform/temp_file.h"

namespace platform {

// How the caller words a replacement's failures: the whole replacement
// ("cannot stamp the software list"), its backup ("cannot keep a backup of
// the software list"), and the file ("list": "cannot put the new list in
// place of ...").
struct ReplacementWords {
  std::string cannot_replace;
  std::string cannot_back_up;
  std::string noun;
};

// The replacement of a file, the target, by a new one written beside it,
// the target's old file kept as its backup at another path; the one place
// that knows how. The target's path holds the whole old file or the whole
// new one at every moment, and a failure leaves the target and the stale
// backup as they were. The calling sequence:
//
//   Replacement replacement(target, backup, words);        // the turn
//   do {
//     File* old = replacement.Open();                       // 1, 2
//     ...                     // read the old file's first bytes, refuse
//   } while (!replacement.Replace([&](TempFile& file) {     // 3 to 12
//     ...                     // the new file, reading the old one to its end
//   }));
//
// What a kill after each step leaves:
//
//    1. nothing touched: what cannot be replaced is refused here (a path too
//       long for its temp files, a backup path that is the target's own
//       name, the short name of another file, the target itself, or no
//       file; a target or a stale backup that is no file, or that is
//       immutable, append-only or a mount point, or whose directory is
//       immutable or append-only);
//    2. nothing more: the old file opened, for the caller to read (and
//       refuse what it cannot write);
//    3. temp files of killed runs removed (a temp file is never a target);
//    4. a new temp file, removed by a later run;
//    5. the same, written;
//    6. the same, with the old file's rights, read-only where the system
//       renames such a file (else it becomes so in step 10);
//    7. the same, on stable storage, closed;
//    8. nothing more where another program has the target or the stale
//       backup open (Windows); else the old file as the backup too (made
//       writable first, so that the backup is; a second name shares its
//       attributes), put in one rename over the stale backup, which keeps
//       a second name (a temp name) meanwhile; temp names of both at most,
//       which a later run removes. A second name that turns out to be
//       another file is dropped, and the caller writes anew;
//    9. nothing more: the old file was read whole and the target's path
//       still names it, unchanged. Else, and where step 10 fails, the stale
//       backup is put back (where nothing was, the backup goes), then the
//       old file made read-only again, and the caller writes anew from what
//       is there now. Nothing that takes time lies between this look and the
//       rename of step 10;
//   10. the new file in the target's place, read-only where step 6 made it
//       so; the stale backup's temp name removed;
//   11. the same, with what the old file carried besides its rights where
//       the system has more (Windows: its permissions and creation time, as
//       read in steps 1 and 2, so from the target's own file also where the
//       backup is a copy). Its failure is no failure of the run: the file
//       keeps what the system gave it, and a warning goes to the event log;
//   12. the same, read-only, where the system renames no read-only file or
//       step 11 may have taken the attribute away (Wine keeps it in the Unix
//       mode bits, which it rewrites: Wine 8 with the DACL, Wine 10 already
//       with the time). A failure here ends the run with the new file in
//       place; the next run makes it read-only.
//
// Steps 1, 2 and 4 to 10 are one round; where the target changed
// meanwhile, nothing is replaced, and the caller opens it again for another
// round. Each fact about the two paths is looked up once a round, in step 1,
// and again only where the protocol needs a fresh look: the old file through
// its handle once it is read (step 5), the target before the swap (step 9).
class Replacement {
 public:
  // Waits for this run's turn among runs in the target's directory
  // (RunTurn), held until the replacement is destroyed.
  Replacement(std::string target, std::string backup, ReplacementWords words);
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  // Steps 1 and 2 of a round: the old file open for reading from its start,
  // or nullptr where the target's path names nothing.
  File* Open();

  // Steps 3 to 12: `write` writes the new file, reading the old one (if
  // any) to its end. False where the target changed meanwhile: nothing is
  // replaced, and a new round may follow.
  bool Replace(const std::function<void(TempFile&)>& write);

 private:
  class Backup;
  // Looks at the target and the backup, and refuses what cannot be
  // replaced.
  void LookAndRefuse();
  [[noreturn]] void RefuseTarget(const std::string& reason) const;
  // Refuses the backup's path, which `what` says more of.
  [[noreturn]] void RefuseBackup(const std::string& what) const;
  bool BackupIsTheTarget() const;
  void RefuseHeldFiles() const;
  bool OldFileReadUnchanged();
  bool MakeBackup(std::optional<Backup>& backup);
  bool TargetIsAsRead() const;

  const RunTurn turn_;
  const std::string target_, backup_;
  const ReplacementWords words_;
  FileFacts target_facts_, backup_facts_;  // as looked at in step 1
  FileFacts old_facts_;                    // the old file's, once read (step 5)
  std::optional<File> old_;
  std::optional<AccessControl> old_access_;
  bool stale_removed_ = false;
};

}  // namespace platform

#endif  // TAVRIN_PLATFORM_REPLACEMENT_H_
