#pragma once
// The 29 rows of the device capability view, from the capabilities mode page
// (2Ah) and two features of GET CONFIGURATION.
#include <string>
#include <utility>
#include <vector>

#include "disc/MmcRecords.h"

using DevInfoRow = std::pair<std::string, std::string>;  // "Support", "Device Parameter"

constexpr int kConfigBufferSize = 2048;

using mmc::ConfigHasFeature;
// The rows from a mode page (byte 0 the page code) and the two feature answers.
std::vector<DevInfoRow> BuildDevInfoRows(const unsigned char* page, bool dvdPlusRw, bool dvdMinusRwWrite);
// Asks the device; false (and no rows) when the mode page cannot be read.
bool ReadDevInfoRows(CDevCmdROM& device, std::vector<DevInfoRow>& rows);
