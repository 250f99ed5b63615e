#pragma once
// Running external programs in tests, and reading the track list that
// cd-info (libcdio-utils) prints for an image: an independent reading of the
// same files our readers and tessal-cli read.
#include <map>
#include <string>

#include "tests/support/CdImages.h"

namespace testsupport {

struct ProgramRun {
  int status = -1;  // exit status, -1 when it could not run or was killed
  std::string out, err;
};

// Runs a shell command line; stderr is caught through a file in dir.
ProgramRun RunProgram(const std::string& command, const ScratchDir& dir);
std::string ShellQuote(const std::string& s);
bool HaveProgram(const char* name);

struct CdInfoTrack {
  long long start = -1;   // LSN of INDEX 01
  long long length = -1;  // to the next track's start or the lead-out
  bool audio = false;
};

// The tracks of "cd-info --no-device-info --no-cddb -q <sourceArgs>", keyed by
// number; the lead-out start under key 170. Empty when cd-info read nothing.
std::map<int, CdInfoTrack> CdInfoTracks(const std::string& sourceArgs, const ScratchDir& dir);

}  // namespace testsupport
