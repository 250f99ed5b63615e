#pragma once
// Files of a folder job written by worker threads while the job's walk goes
// on. Most of the time of extracting many small files from an image is the
// kernel making each file (allocating its inode, entering its name) and
// filling its pages; two or more threads do that side by side where one
// would wait on each file in turn. The walk itself, the folders, the links
// and every read through the device stay on the job's own thread.
//
// The kernel makes one name at a time in a folder (it holds the folder
// locked while it allocates the new file), so two writers in one folder
// mostly wait for each other. Each task therefore names its folder, and a
// writer takes the first task of a folder no other writer is in, staying
// in it until the task has made its file: the writers make files in
// different folders, each folder's files in the order they were queued,
// and fill them side by side wherever they are.
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

  // A task's hold on its folder, let go once its file is made (or when
  // the task ends).
  class Turn {
   public:
    void Leave();

   private:
    friend class FolderWriters;
    Turn(FolderWriters* pool, std::size_t self) : m_pool(pool), m_self(self) {}
    FolderWriters* m_pool;
    std::size_t m_self;
  };
  using Task = std::function<void(Turn&)>;

  // Queues a task of the folder (any key that tells folders apart); waits
  // while kQueued tasks are waiting already, so a volume of a million files
  // holds no more than that in memory.
  void Submit(const void* folder, Task task);
  // Runs every task queued, then ends the workers. Called again, nothing.
  void Finish();

 private:
  static constexpr std::size_t kQueued = 1024;
  struct Queued {
    const void* folder;
    Task run;
  };
  void Work(std::size_t self);
  // The first task whose folder no other writer is in (end when none).
  std::deque<Queued>::iterator Next();

  std::mutex m_lock;
  std::condition_variable m_wake;   // a task was queued or a folder left, or Finish was called
  std::condition_variable m_room;   // a task was taken
  std::deque<Queued> m_tasks;
  std::vector<const void*> m_in;    // the folder each writer is in (null: none)
  bool m_finishing = false;
  std::vector<std::thread> m_workers;
};
