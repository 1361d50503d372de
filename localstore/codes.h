#pragma once

// The error codes of the local stand-in. Every failure of an operation hands back one of these
// instead of 0; the tools show them in hex (the second column).

#include "core/error.h"

namespace kartiva::localstore {

enum : ErrorCode {
  kNotStarted = static_cast<ErrorCode>(0x80045001),       // the store is not initialised yet
  kNoActiveBasket = static_cast<ErrorCode>(0x80045002),   // kartiva.ini names no active basket
  kNoActiveArchive = static_cast<ErrorCode>(0x80045003),  // kartiva.ini names no active archive
  kBadName = static_cast<ErrorCode>(0x80045004),          // a name that would leave its folder
  kNoSuchBasket = static_cast<ErrorCode>(0x80045005),
  kNoSuchArchive = static_cast<ErrorCode>(0x80045006),
  kFileNotFound = static_cast<ErrorCode>(0x80045007),    // the file to add or store is missing
  kFileUnreadable = static_cast<ErrorCode>(0x80045008),  // not a regular file, or may not be read
  kStoreFull = static_cast<ErrorCode>(0x80045009),       // no space left (or over a size limit)
  kStoreReadOnly = static_cast<ErrorCode>(0x8004500A),   // the store may not be written
  kIoError = static_cast<ErrorCode>(0x8004500B),         // any other failure to read or write
  kIndexError = static_cast<ErrorCode>(0x8004500C),      // the archive index could not be written
  kNotConfirmed = kErrStoredNotConfirmed,  // done, but the disk did not confirm the new name
  kNoHardLinks = static_cast<ErrorCode>(0x8004500E),  // the store's file system has no hard links
};

}  // namespace kartiva::localstore
