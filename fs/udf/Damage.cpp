#include "fs/udf/Damage.h"

namespace udf {

const char* ExtentStatusText(ExtentStatus s) {
  switch (s) {
    case ExtentStatus::Ok: return "ok";
    case ExtentStatus::EntryUnreadable: return "its file entry cannot be read";
    case ExtentStatus::NotAFileEntry: return "its file entry is of a type that holds no data";
    case ExtentStatus::LengthsPastEntry: return "its file entry's lengths run past the entry";
    case ExtentStatus::UnknownDescriptorType: return "its file entry names an unknown descriptor type";
    case ExtentStatus::BrokenDescriptorList: return "its allocation descriptors are broken";
    case ExtentStatus::ChainTooLong: return "its allocation descriptors continue too often";
    case ExtentStatus::ChainOutsidePartition: return "its allocation descriptors continue outside the partition";
    case ExtentStatus::ChainLoop: return "its allocation descriptors continue in a loop";
    case ExtentStatus::ChainUnreadable: return "a block continuing its allocation descriptors cannot be read";
    case ExtentStatus::ChainNotAnExtent: return "a block continuing its allocation descriptors holds none";
    case ExtentStatus::ChainLengthPastBlock: return "continued allocation descriptors run past their block";
    case ExtentStatus::ExtentOutsidePartition: return "an extent of its data lies outside the partition";
    case ExtentStatus::TooManyExtents: return "its data has too many extents";
    case ExtentStatus::LookupFailed: return "a block of it has no entry in the allocation table";
  }
  return "damaged";
}

std::string DirResult::Text() const {
  switch (status) {
    case DirStatus::Ok: return "ok";
    case DirStatus::EntryDamaged: return std::string("damaged directory: ") + ExtentStatusText(extent);
    case DirStatus::TooLarge: return "damaged directory: larger than any directory may be";
    case DirStatus::DataUnreadable: return "damaged directory: its data cannot be read";
    case DirStatus::IdentifierDamaged:
      return std::string("damaged directory: its listing ends at a ") + FidStatusText(fid);
    case DirStatus::LookupFailed: return "damaged directory: it names an entry that has no block";
  }
  return "damaged directory";
}

}  // namespace udf
