#pragma once
// What each entry of a UDF volume is, in the terms every file-system reader
// shares (fs/Node.h): for `find`, the browser's Type column and extraction.
// Apart from udf/Analy_UDF.h so that code which names std::filesystem "fs"
// can still use the analyser.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "fs/Node.h"
#include "udf/Analy_UDF.h"

// Kind, size, permission bits, modification time, a link's target and (with
// withLba) the first block of a file's data. False when its file entry
// cannot be read (the kind is then what the identifier says: folder or file).
bool ReadUdfNodeInfo(CAnaly_UDF& analyser, const UdfDirEntry& entry, fs::NodeInfo& out, bool withLba = true);

// A directory's entries with what each one is: the listing's outcome as
// ListDirectory names it. An entry whose file entry cannot be read is listed
// as its identifier says, and counted in unreadableEntries.
udf::DirResult ListUdfNodes(CAnaly_UDF& analyser, std::uint32_t feSector,
                            std::vector<std::pair<UdfDirEntry, fs::NodeInfo>>& nodes,
                            std::size_t* unreadableEntries = nullptr);
