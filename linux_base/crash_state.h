#pragma once

// What a power cut would lose, for the tests of the test build (-DKARTIVA_TEST_HOOKS=ON) alone, in
// the manner of SQLite's crash simulation: the file layer (file_io.h) tells it of every file whose
// data is not flushed yet, every name it creates or removes and every flush. With
// KARTIVA_CRASH_CUT set, a crash point then throws away what had not reached the disk before it
// kills the process: the data of a file never flushed becomes zeros (its size stays, as ext4
// leaves it), the extended attributes of a file whose flush was of its data alone (fdatasync)
// are gone, and every name created or removed in a folder not flushed since is undone, in the
// worst order the file system may choose: KARTIVA_CRASH_CUT lists, separated by commas, the folders
// (by the end of their path, such as "Eingang/.inflight") whose unflushed changes did reach the
// disk. A rename never loses both names: undoing its new name brings back the old one, and a flush
// of the folder it left makes it whole. With KARTIVA_FLUSH_LOG naming a file, every flush appends a
// line to it ("data", "folder <parent>/<name>", "index"), so that a test counts them; with
// KARTIVA_FLUSH_FAIL naming a folder as "<parent>/<name>", every flush of it fails with EIO.
// With KARTIVA_REFUSE listing calls ("renameat2", "O_TMPFILE", "link", "fcntl", separated by
// commas), the file layer refuses them as a file system without them does, so that the store's
// fallbacks for NFS, FUSE and FAT run on any disk.
//
// Without the test hooks, as in everything that ships, each of these is nothing.

#include <filesystem>
#include <string_view>

namespace kartiva::linux_os::crash_state {

#ifdef KARTIVA_TEST_HOOKS
void DataWritten(int fd);
// `withAttributes`: flushed whole (fsync), its extended attributes too.
void DataFlushed(int fd, bool withAttributes);
void FolderFlushed(const std::filesystem::path& folder);
// EIO for a folder whose flushes are to fail, else 0.
int FolderFlushFault(const std::filesystem::path& folder);
void IndexCommitted();
void NameAdded(const std::filesystem::path& name);
// Before a name may go: keeps the file it names within reach, to bring the name back at a cut.
void NameToGo(const std::filesystem::path& name);
void NameGone(const std::filesystem::path& name, bool gone);
// After `from` was renamed to `to` (NameToGo(from) before).
void Renamed(const std::filesystem::path& from, const std::filesystem::path& to);
// At a crash point with KARTIVA_CRASH_CUT set: undoes what was not flushed.
void LoseWhatWasNotFlushed();
// The errno with which a file system that lacks `call` refuses it, where KARTIVA_REFUSE lists
// it: EINVAL for "renameat2" (as NFS and FUSE refuse RENAME_NOREPLACE), EOPNOTSUPP for
// "O_TMPFILE", EPERM for "link" (as FAT), ENOLCK for "fcntl"; else 0.
int Refusal(std::string_view call);
#else
inline void DataWritten(int /*fd*/) {}
inline void DataFlushed(int /*fd*/, bool /*withAttributes*/) {}
inline void FolderFlushed(const std::filesystem::path& /*folder*/) {}
inline int FolderFlushFault(const std::filesystem::path& /*folder*/) { return 0; }
inline void IndexCommitted() {}
inline void NameAdded(const std::filesystem::path& /*name*/) {}
inline void NameToGo(const std::filesystem::path& /*name*/) {}
inline void NameGone(const std::filesystem::path& /*name*/, bool /*gone*/) {}
inline void Renamed(const std::filesystem::path& /*from*/, const std::filesystem::path& /*to*/) {}
inline int Refusal(std::string_view /*call*/) { return 0; }
#endif

}  // namespace kartiva::linux_os::crash_state
