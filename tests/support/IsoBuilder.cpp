// ISO 9660 / Joliet volumes for tests.
#include "tests/support/IsoBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>

namespace testsupport {
namespace {

constexpr std::size_t kSector = 2048;

void Both16(std::uint8_t* p, std::uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
  p[2] = (v >> 8) & 0xFF;
  p[3] = v & 0xFF;
}
void Both32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    p[7 - i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

Bytes Identifier(const IsoNode& n, bool joliet) {
  if (!joliet) return Bytes(n.name.begin(), n.name.end());
  if (!n.jolietRaw.empty()) return n.jolietRaw;
  return Utf16Be(n.jolietName.empty() ? n.name : n.jolietName);
}

std::size_t RecordLength(std::size_t idLength) { return 33 + idLength + (idLength % 2 == 0 ? 1 : 0); }

// Sectors a directory's records take: ".", ".." and one per child, a record
// never crossing a sector.
std::uint32_t DirectorySectors(const IsoNode& d, bool joliet) {
  std::uint32_t sectors = 1;
  std::size_t pos = 2 * RecordLength(1);
  for (const auto& c : d.children) {
    const std::size_t len = RecordLength(Identifier(*c, joliet).size());
    if (pos + len > kSector) {
      ++sectors;
      pos = 0;
    }
    pos += len;
  }
  return sectors;
}

}  // namespace

Bytes Utf16Be(const std::string& s) {
  Bytes out;
  auto put = [&](std::uint32_t u) {
    out.push_back(static_cast<std::uint8_t>(u >> 8));
    out.push_back(static_cast<std::uint8_t>(u));
  };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = s[i];
    std::uint32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0) {
      cp = c & 0x07;
      n = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      n = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      n = 2;
    }
    for (std::size_t k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

IsoBuilder::IsoBuilder() : m_root(std::make_unique<IsoNode>()) { m_root->directory = true; }

IsoNode& IsoBuilder::Folder(IsoNode& parent, const std::string& name) {
  parent.children.push_back(std::make_unique<IsoNode>());
  IsoNode& n = *parent.children.back();
  n.name = name;
  n.directory = true;
  return n;
}

IsoNode& IsoBuilder::File(IsoNode& parent, const std::string& name, Bytes data) {
  parent.children.push_back(std::make_unique<IsoNode>());
  IsoNode& n = *parent.children.back();
  n.name = name;
  n.data = std::move(data);
  return n;
}

IsoNode* IsoBuilder::Find(const std::string& path) {
  IsoNode* n = m_root.get();
  std::size_t pos = 1;
  while (n && pos < path.size()) {
    const std::size_t slash = path.find('/', pos);
    const std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    IsoNode* next = nullptr;
    for (auto& c : n->children)
      if (c->name == part) next = c.get();
    n = next;
    pos = slash == std::string::npos ? path.size() : slash + 1;
  }
  return n;
}

Bytes IsoBuilder::Build() {
  m_form2.clear();
  // Every directory in breadth-first order, with its parent.
  std::vector<std::pair<IsoNode*, IsoNode*>> dirs;
  std::deque<std::pair<IsoNode*, IsoNode*>> queue{{m_root.get(), m_root.get()}};
  while (!queue.empty()) {
    auto d = queue.front();
    queue.pop_front();
    dirs.push_back(d);
    for (auto& c : d.first->children)
      if (c->directory) queue.emplace_back(c.get(), d.first);
  }

  std::uint32_t next = 16 + (joliet ? 2 : 1) + 1;  // after the descriptors and the terminator
  for (auto& [d, parent] : dirs) {
    const std::uint32_t n = DirectorySectors(*d, false);
    d->extent = firstLba + next;
    d->size = n * kSector;
    next += n;
  }
  if (joliet) {
    for (auto& [d, parent] : dirs) {
      const std::uint32_t n = DirectorySectors(*d, true);
      d->jExtent = firstLba + next;
      d->jSize = n * kSector;
      next += n;
    }
  }
  for (auto& [d, parent] : dirs)
    for (auto& c : d->children) {
      if (c->directory) continue;
      c->extent = firstLba + next;
      c->size = static_cast<std::uint32_t>(c->data.size());
      const std::uint32_t n = static_cast<std::uint32_t>((c->data.size() + kSector - 1) / kSector);
      if (c->form2)
        for (std::uint32_t k = 0; k < n; ++k) m_form2.push_back(next + k);
      next += n;
    }

  Bytes img(static_cast<std::size_t>(next) * kSector, 0);
  auto writeRecord = [&](std::size_t at, std::uint32_t extent, std::uint32_t size, bool dir, const Bytes& id) {
    std::uint8_t* r = img.data() + at;
    const std::size_t len = RecordLength(id.size());
    r[0] = static_cast<std::uint8_t>(len);
    Both32(r + 2, extent);
    Both32(r + 10, size);
    std::memcpy(r + 18, time.data(), 6);
    r[25] = dir ? 0x02 : 0x00;
    Both16(r + 28, 1);
    r[32] = static_cast<std::uint8_t>(id.size());
    std::memcpy(r + 33, id.data(), id.size());
    return len;
  };
  auto writeDirectory = [&](IsoNode& d, IsoNode& parent, bool j) {
    const std::uint32_t ext = j ? d.jExtent : d.extent;
    std::size_t base = static_cast<std::size_t>(ext - firstLba) * kSector;
    std::size_t pos = 0;
    pos += writeRecord(base + pos, ext, j ? d.jSize : d.size, true, Bytes{0});
    pos += writeRecord(base + pos, j ? parent.jExtent : parent.extent, j ? parent.jSize : parent.size, true, Bytes{1});
    for (auto& c : d.children) {
      const Bytes id = Identifier(*c, j);
      if (pos + RecordLength(id.size()) > kSector) {
        base += kSector;
        pos = 0;
      }
      (j ? c->jRecord : c->record) = base + pos;
      const std::uint32_t e = c->directory && j ? c->jExtent : c->extent;
      const std::uint32_t s = c->directory && j ? c->jSize : c->size;
      pos += writeRecord(base + pos, e, s, c->directory, id);
    }
  };
  for (auto& [d, parent] : dirs) writeDirectory(*d, *parent, false);
  if (joliet)
    for (auto& [d, parent] : dirs) writeDirectory(*d, *parent, true);

  auto descriptor = [&](std::uint32_t sector, std::uint8_t type, bool j) {
    std::uint8_t* v = img.data() + sector * kSector;
    v[0] = type;
    std::memcpy(v + 1, "CD001", 5);
    v[6] = 1;
    if (type == 255) return;
    std::memset(v + 8, ' ', 32);
    std::memset(v + 40, ' ', 32);
    std::memcpy(v + 40, "TESSAL_TEST", 11);
    Both32(v + 80, firstLba + next);
    if (j) {
      v[88] = 0x25;
      v[89] = 0x2F;
      v[90] = 0x45;
    }
    Both16(v + 120, 1);
    Both16(v + 124, 1);
    Both16(v + 128, kSector);
    std::uint8_t* r = v + 156;
    r[0] = 34;
    Both32(r + 2, j ? m_root->jExtent : m_root->extent);
    Both32(r + 10, j ? m_root->jSize : m_root->size);
    std::memcpy(r + 18, time.data(), 6);
    r[25] = 0x02;
    Both16(r + 28, 1);
    r[32] = 1;
    v[881] = 1;
  };
  descriptor(16, 1, false);
  if (joliet) descriptor(17, 2, true);
  descriptor(joliet ? 18 : 17, 255, false);

  for (auto& [d, parent] : dirs)
    for (auto& c : d->children)
      if (!c->directory && !c->data.empty())
        std::memcpy(img.data() + static_cast<std::size_t>(c->extent - firstLba) * kSector, c->data.data(), c->data.size());
  return img;
}

Bytes RawXaSectors(const Bytes& user, const std::vector<std::uint32_t>& form2, std::int32_t firstLba) {
  Bytes out;
  const std::size_t n = (user.size() + kSector - 1) / kSector;
  out.reserve(n * 2352);
  for (std::size_t i = 0; i < n; ++i) {
    const bool f2 = std::find(form2.begin(), form2.end(), static_cast<std::uint32_t>(i)) != form2.end();
    Bytes data(f2 ? 2324 : kSector, 0);
    std::memcpy(data.data(), user.data() + i * kSector, std::min(kSector, user.size() - i * kSector));
    Bytes s = RawSector(firstLba + static_cast<std::int32_t>(i), f2 ? RawMode::Mode2Form2 : RawMode::Mode2Form1,
                        data.data(), data.size());
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

IsoNode& DeepChain(IsoBuilder& b, int depth) {
  IsoNode* n = &b.Root();
  for (int i = 1; i <= depth; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "D%02d", i);
    n = &b.Folder(*n, name);
  }
  return *n;
}

}  // namespace testsupport
