#pragma once
// The files of a folder job whose bytes lie plain in the image file, written
// by the job's file writers (copy/FolderWriters.h) while its walk goes on.
// ISO 9660 and UDF jobs hand them over alike; each says where a file's bytes
// lie (Plain) and how to write it on the job's thread instead (File::redo).
//
// A writer makes the file below the job's target, fills it by the kernel's
// copy between the two files (or reads and writes where the kernel will not),
// applies its recorded bits and time and lets go of its folder's seal. A
// file whose bytes cannot be read from the image file is deleted and written
// again at the end (Finish) on the job's thread, through the device, which
// reports each sector it cannot read as the job always does.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "copy/FolderWriters.h"
#include "copy/GetCDData.h"

// Whether no two of a folder's item names (as made: safe names) name one
// item of the copy, where its files would be written side by side. Names
// that differ only in ASCII case count as one: an XFS volume made
// case-insensitive (ascii-ci) takes them so, and no flag of its folders
// tells it.
bool DistinctItemNames(std::vector<std::string> names);

struct CGetCDData::PlainFiles {
  // Bytes of a file that lie at offset in the image file fd.
  struct Piece {
    int fd = -1;
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
  };
  struct File {
    std::filesystem::path path;
    FileAttributes attributes;
    std::vector<Piece> pieces;           // in file order, together the whole file
    std::shared_ptr<FolderSeal> folder;  // held until the file is written
    std::function<void()> redo;          // writes it on the job's thread, through the device
  };

  explicit PlainFiles(CGetCDData& engine) : m_engine(engine) {}
  PlainFiles(const PlainFiles&) = delete;
  PlainFiles& operator=(const PlainFiles&) = delete;

  // The user data at byte `at` of the track (2048-byte sectors from sector
  // 0), `bytes` long, where the device says every sector under it is plain
  // in the image file. On the job's thread.
  std::optional<Piece> Plain(std::uint64_t at, std::uint64_t bytes) const;
  // Hands the file to the writers: false (write it here) where they do not
  // take it. An empty file says nothing of where the volume's data lies, so
  // it goes to them only once they run.
  bool Hand(File file);
  // Waits for the writers, then writes here what they could not read.
  void Finish();

 private:
  // The writers: made at the first file they can take, where the machine
  // has processors to spare and the job's folder keeps case.
  bool SideBySide();
  // On a writer.
  void Write(File& file, FolderWriters::Turn& turn);
  // One piece appended to out: by the kernel where it copies between these
  // files, else read here.
  enum class Filled { Done, Failed, Stopped, Unread };
  Filled Fill(Output& out, const Piece& p, std::string& reason);

  CGetCDData& m_engine;
  bool m_asked = false;
  std::atomic<bool> m_noKernelCopy{false};
  std::mutex m_redoLock;
  std::vector<File> m_redo;  // under m_redoLock while the writers run
  // Last, so that its workers have ended before anything they use goes.
  std::unique_ptr<FolderWriters> m_writers;
};
