#pragma once
// Files of a folder job written by worker threads while the job's walk goes
// on. Most of the time of extracting many small files from an image is the
// kernel making each file (allocating its inode, entering its name) and
// filling its pages; two or more threads do that side by side where one
// would wait on each file in turn. The walk itself, the folders, the links
// and every read through the device stay on the job's own thread.
//
// A folder's recorded time and permission bits can be applied only once
// everything inside it is written, or a later file would move the time
// again. FolderSeal carries that: the walk holds its folder's seal while it
// lists the folder, every file task and subfolder holds its parent's, and
// the last one to let go finishes the folder, children before their parents.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FolderSeal {
 public:
  // done runs once, on whichever thread lets go last; the parent is let go
  // after it.
  FolderSeal(std::shared_ptr<FolderSeal> parent, std::function<void()> done)
      : m_parent(std::move(parent)), m_done(std::move(done)) {}
  ~FolderSeal() {
    if (m_done) m_done();
  }
  FolderSeal(const FolderSeal&) = delete;
  FolderSeal& operator=(const FolderSeal&) = delete;

 private:
  std::shared_ptr<FolderSeal> m_parent;
  std::function<void()> m_done;
};

class FolderWriters {
 public:
  // How many writers suit this machine: 0 (write on the job's thread) on a
  // single processor.
  static unsigned SuitableCount();

  explicit FolderWriters(unsigned workers);
  ~FolderWriters() { Finish(); }
  FolderWriters(const FolderWriters&) = delete;
  FolderWriters& operator=(const FolderWriters&) = delete;

  // Queues a task; waits while kQueued tasks are waiting already, so a
  // volume of a million files holds no more than that in memory.
  void Submit(std::function<void()> task);
  // Runs every task queued, then ends the workers. Called again, nothing.
  void Finish();

 private:
  static constexpr std::size_t kQueued = 256;
  void Work();

  std::mutex m_lock;
  std::condition_variable m_wake;   // a task was queued, or Finish was called
  std::condition_variable m_room;   // a task was taken
  std::deque<std::function<void()>> m_tasks;
  bool m_finishing = false;
  std::vector<std::thread> m_workers;
};
