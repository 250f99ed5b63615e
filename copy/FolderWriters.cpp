// Worker threads for the files of a folder job.
#include "copy/FolderWriters.h"

#include <algorithm>

unsigned FolderWriters::SuitableCount() {
  const unsigned cpus = std::thread::hardware_concurrency();
  return cpus < 2 ? 0 : std::min(cpus, 4u);
}

FolderWriters::FolderWriters(unsigned workers) {
  for (unsigned i = 0; i < workers; ++i) m_workers.emplace_back([this] { Work(); });
}

void FolderWriters::Submit(std::function<void()> task) {
  if (m_workers.empty()) {
    task();
    return;
  }
  std::unique_lock<std::mutex> lock(m_lock);
  m_room.wait(lock, [&] { return m_tasks.size() < kQueued; });
  m_tasks.push_back(std::move(task));
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

void FolderWriters::Work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_wake.wait(lock, [&] { return m_finishing || !m_tasks.empty(); });
      if (m_tasks.empty()) return;
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    }
    m_room.notify_one();
    task();
  }
}
