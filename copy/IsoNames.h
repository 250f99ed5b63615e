#pragma once
// The names an ISO 9660 volume is read with (plain, Joliet, or Rock Ridge
// with its decoder), as the browser found them: handed to the copy engine so
// that a copy writes the names the list shows. Callers of the engine and the
// browser see it only declared, so their headers stay free of fs/.
#include "fs/iso9660/Directory.h"

struct IsoNames {
  fs::iso9660::Names names;
};

// A file as the copy engine finds it in its folder's records.
struct IsoEntry {
  fs::iso9660::Entry entry;
};
