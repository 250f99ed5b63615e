#include <cstdlib>

#include "disc/DevCmdROM.h"
#include "platform/orvane/SgTransport.h"

DevDeque::DevDeque() {
  // TESSAL_NO_DRIVES keeps the drives out (tests and headless runs on machines
  // whose drives must not be touched).
  if (!std::getenv("TESSAL_NO_DRIVES")) {
    unsigned char id = 1;
    for (const auto& node : orvane::FindOpticalDrives()) {
      m_Items.push_back(std::make_unique<CDevCmdROM>(id++, std::make_unique<orvane::SgTransport>(node), node));
      if (id == 0) break;  // 255 drives: the id byte is full
    }
  }
  m_Items.push_back(std::make_unique<CDevCmdROM>(0, nullptr));
}

DevDeque::DevDeque(std::vector<std::unique_ptr<CDevCmdROM>> drives) : m_Items(std::move(drives)) {
  m_Items.push_back(std::make_unique<CDevCmdROM>(0, nullptr));
}

DevDeque::~DevDeque() = default;

CDevCmdROM* DevDeque::GetDequeItem(int index) const {
  if (index < 0 || index >= static_cast<int>(m_Items.size())) return nullptr;
  return m_Items[static_cast<std::size_t>(index)].get();
}
