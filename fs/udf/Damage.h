#pragma once
// What stopped a UDF walk, named so the caller can tell a listing's end from
// damage and report which damage it was.
#include <string>

#include "fs/udf/Descriptors.h"

namespace udf {

// Where a file's data is, as the extent collector tells it.
enum class ExtentStatus {
  Ok,
  EntryUnreadable,        // the file entry's block could not be read
  NotAFileEntry,          // its ICB file type has no data of its own
  LengthsPastEntry,       // L_EA or L_AD run past the entry's block
  UnknownDescriptorType,  // allocation descriptor type above 3
  BrokenDescriptorList,   // the list holds something other than whole descriptors
  ChainTooLong,           // more continuation blocks than a file can have
  ChainOutsidePartition,  // a continuation points outside the partition
  ChainLoop,              // a continuation points at a block already read
  ChainUnreadable,        // a continuation block could not be read
  ChainNotAnExtent,       // a continuation block is no allocation extent descriptor
  ChainLengthPastBlock,   // its L_AD runs past its block
  ExtentOutsidePartition, // a recorded extent lies outside the partition
  TooManyExtents,         // more extents than a file can have
  LookupFailed,           // a virtual or metadata block has no entry in its table
};
const char* ExtentStatusText(ExtentStatus status);

// How a directory listing ended.
enum class DirStatus {
  Ok,
  EntryDamaged,       // the directory's own entry or descriptors (see extent)
  TooLarge,           // more data than a directory may have
  DataUnreadable,     // a block of its data could not be read
  IdentifierDamaged,  // a file identifier failed its checks (see fid)
  LookupFailed,       // an identifier's entry has no entry in the VAT or metadata file
};
struct DirResult {
  DirStatus status = DirStatus::Ok;
  ExtentStatus extent = ExtentStatus::Ok;
  FidStatus fid = FidStatus::Ok;
  bool Ok() const { return status == DirStatus::Ok; }
  // "directory ends at a damaged file identifier (...)" and alike.
  std::string Text() const;
};

}  // namespace udf
