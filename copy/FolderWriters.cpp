// Worker threads for the files of a folder job.
#include "copy/FolderWriters.h"

#include <algorithm>
#include <system_error>
#include <utility>

unsigned FolderWriters::SuitableCount() {
  const unsigned cpus = std::thread::hardware_concurrency();
  return cpus < 2 ? 0 : std::min(cpus, 4u);
}

FolderWriters::FolderWriters(unsigned workers) : m_in(workers, nullptr) {
  // Where the system makes no more threads, those made take the tasks (with
  // none, Submit runs each task itself).
  try {
    for (unsigned i = 0; i < workers; ++i) m_workers.emplace_back([this, i] { Work(i); });
  } catch (const std::system_error&) {
  }
}

void FolderWriters::Submit(const void* folder, Task task) {
  if (m_workers.empty()) {
    Turn alone(nullptr, 0);
    task(alone);
    return;
  }
  std::unique_lock<std::mutex> lock(m_lock);
  m_room.wait(lock, [&] { return m_tasks.size() < kQueued; });
  m_tasks.push_back(Queued{folder, std::move(task)});
  m_wake.notify_one();
}

void FolderWriters::Finish() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_finishing = true;
  }
  m_wake.notify_all();
  for (std::thread& t : m_workers)
    if (t.joinable()) t.join();
  m_workers.clear();
}

void FolderWriters::Turn::Leave() {
  FolderWriters* pool = std::exchange(m_pool, nullptr);
  if (!pool) return;
  {
    std::lock_guard<std::mutex> lock(pool->m_lock);
    pool->m_in[m_self] = nullptr;
  }
  // Another writer may be waiting for this folder's next file.
  pool->m_wake.notify_all();
}

std::deque<FolderWriters::Queued>::iterator FolderWriters::Next() {
  return std::find_if(m_tasks.begin(), m_tasks.end(), [&](const Queued& t) {
    return std::find(m_in.begin(), m_in.end(), t.folder) == m_in.end();
  });
}

void FolderWriters::Work(std::size_t self) {
  for (;;) {
    Queued task;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_wake.wait(lock, [&] { return (m_finishing && m_tasks.empty()) || Next() != m_tasks.end(); });
      const auto next = Next();
      if (next == m_tasks.end()) return;
      task = std::move(*next);
      m_tasks.erase(next);
      m_in[self] = task.folder;
    }
    m_room.notify_one();
    Turn turn(this, self);
    task.run(turn);
    turn.Leave();
  }
}
