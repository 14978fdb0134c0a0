#ifndef TAVRIN_PLATFORM_FILES_H_
#define TAVRIN_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>

// File operations on paths in Windows form ("C:\Software.txt"). Every
// failure throws RunError naming the operation, the path and the system's
// reason, except where a function says it is quiet.
namespace platform {

// True when `path` names an ordinary file, read-only or not (on Windows
// hidden and system files too); false for a directory or nothing at all.
bool FileExists(const std::string& path);

// Normal: writable by its owner again. Read-only: writable by nobody.
void SetNormalAttributes(const std::string& path);
void SetReadOnlyAttributes(const std::string& path);

void RemoveFile(const std::string& path);
void RemoveFileQuietly(const std::string& path) noexcept;

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;

FileHandle OpenForReading(const std::string& path);

// Creates the file `path`, empty; fails when anything is there already, a
// link included, which it does not follow.
FileHandle CreateNewFile(const std::string& path);

// Creates a new, empty file whose name is `beside` with a suffix, so that it
// lies in the same directory. It never opens an existing file or follows a
// link. Returns the handle and stores the file's path in `*created`.
FileHandle CreateFileBeside(const std::string& beside, std::string* created);

// Reads up to `size` bytes; 0 at the end of the file.
size_t ReadSome(FileHandle file, char* buffer, size_t size, const std::string& path);
void WriteAll(FileHandle file, const char* data, size_t size, const std::string& path);
// Returns once everything written has reached stable storage.
void SyncToDisk(FileHandle file, const std::string& path);
void CloseFile(FileHandle file, const std::string& path);
void CloseFileQuietly(FileHandle file) noexcept;

// Writes a copy of `from` at `to`, where nothing is, and returns once it is on
// stable storage. A copy that fails half-way is removed again.
void CopyFileDurably(const std::string& from, const std::string& to);

// Makes the file `replacement` the file at `list` and the previous `list` its
// `backup`, where `backup` does not exist. At every moment `list` names
// either the whole previous file or the whole replacement.
void ReplaceKeepingBackup(const std::string& replacement, const std::string& list,
                          const std::string& backup);

// Moves the file `replacement` to `list`, where no file is.
void MoveIntoPlace(const std::string& replacement, const std::string& list);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_FILES_H_
