#include "disc/DiscModel.h"

#include <algorithm>
#include <utility>

#include "disc/MmcRecords.h"

// ---------------------------------------------------------------- TocData

TocData::TocData(TocData&& o) noexcept
    : m_nSessNo(o.m_nSessNo), m_pData(o.m_pData), m_nSize(o.m_nSize), m_nCapacity(o.m_nCapacity) {
  o.m_pData = nullptr;
  o.m_nSize = o.m_nCapacity = 0;
}

TocData& TocData::operator=(const TocData& o) {
  if (this == &o) return *this;
  m_nSessNo = o.m_nSessNo;
  if (m_nCapacity < o.m_nSize) {
    delete[] m_pData;
    m_pData = new _Data[o.m_nSize];
    m_nCapacity = o.m_nSize;
  }
  std::copy(o.m_pData, o.m_pData + o.m_nSize, m_pData);
  m_nSize = o.m_nSize;
  return *this;
}

TocData& TocData::operator=(TocData&& o) noexcept {
  if (this == &o) return *this;
  delete[] m_pData;
  m_nSessNo = o.m_nSessNo;
  m_pData = std::exchange(o.m_pData, nullptr);
  m_nSize = std::exchange(o.m_nSize, 0);
  m_nCapacity = std::exchange(o.m_nCapacity, 0);
  return *this;
}

void TocData::add(const _Data& d) {
  if (m_nSize == m_nCapacity) {
    // Grow by doubling: the new capacity is size + max(size, 1).
    int cap = m_nSize + std::max(m_nSize, 1);
    auto* p = new _Data[cap];
    std::copy(m_pData, m_pData + m_nSize, p);
    delete[] m_pData;
    m_pData = p;
    m_nCapacity = cap;
  }
  m_pData[m_nSize++] = d;
}

const TocData::_Data& TocData::at(int i) const {
  if (m_pData == nullptr || i < 0 || i >= m_nSize) throw std::out_of_range("invalid vector<T> subscript");
  return m_pData[i];
}

const TocData::_Data* TocData::FindPoint(int point) const {
  for (int i = 0; i < m_nSize; ++i)
    if (m_pData[i].GetTrackIndex() == point) return &m_pData[i];
  return nullptr;
}

int TocData::GetFirstTrackNo() const {
  const _Data* d = FindPoint(mmc::kPointFirstTrack);
  return d ? mmc::TocEntry(*d).TrackNumber() : 0;
}

int TocData::GetLastTrackNo() const {
  const _Data* d = FindPoint(mmc::kPointLastTrack);
  return d ? mmc::TocEntry(*d).TrackNumber() : 0;
}

std::uint32_t TocData::GetLeadOutStartPos() const {
  return static_cast<std::uint32_t>(FindLeadOutStartPos().value_or(0));
}

std::optional<std::int32_t> TocData::FindLeadOutStartPos() const {
  const _Data* d = GetLeadOutData();
  if (!d) return std::nullopt;
  return d->GetStartPos();
}

const TocData::_Data* TocData::GetLeadOutData() const { return FindPoint(mmc::kPointLeadOut); }

int TocData::GetDiscType() const {
  const _Data* d = FindPoint(mmc::kPointFirstTrack);
  return d ? mmc::TocEntry(*d).DiscType() : 0;
}

bool TocData::GetTrackData(int track, _Data& out) const {
  const _Data* d = GetTrackData(track);
  if (!d) return false;
  out = *d;
  return true;
}

const TocData::_Data* TocData::GetTrackData(int track) const {
  // Only track numbers name tracks; the control points (A0-A2, B0, C0...) are
  // never handed out as a track.
  if (track < 1 || track > mmc::kLastTrackPoint) return nullptr;
  return FindPoint(track);
}

// ------------------------------------------------------------ SessionInfo

SessionInfo::SessionInfo(const unsigned char* p, int length) {
  constexpr int kSize = static_cast<int>(mmc::kFullTocDescriptorSize);
  if (p == nullptr || length < kSize) return;
  const int n = length / kSize;  // a trailing partial descriptor is not read
  for (int i = 0; i < n; ++i) {
    const unsigned char* d = p + kSize * i;
    const int sess = mmc::FullTocDescriptor(d).Session();
    TocData::_Data rec;
    std::copy(d + 1, d + kSize, rec.b);
    // Find the session; descriptors of one session need not be contiguous and
    // sessions need not come in order.
    int idx = -1;
    for (int k = 0; k < m_nCount; ++k)
      if ((*this)[k].GetSessNo() == sess) idx = k;
    if (idx < 0) {
      // Insert keeping ascending session numbers.
      int pos = 0;
      while (pos < m_nCount && (*this)[pos].GetSessNo() < sess) ++pos;
      TocData t(sess);
      if (pos == m_nCount) {
        push(t);
      } else if (pos == 0) {
        push_front(t);
      } else {
        push(t);
        for (int k = m_nCount - 1; k > pos; --k) std::swap((*this)[k], (*this)[k - 1]);
      }
      idx = pos;
    }
    (*this)[idx].add(rec);
  }
}

SessionInfo& SessionInfo::operator=(const SessionInfo& o) {
  if (this == &o) return *this;
  init();
  Reserve(0, o.m_nCount);
  for (int i = 0; i < o.m_nCount; ++i) push(o[i]);
  return *this;
}

void SessionInfo::init() {
  delete[] m_pItems;
  m_pItems = nullptr;
  m_nFirst = m_nCount = m_nCapacity = 0;
}

TocData& SessionInfo::front() {
  if (m_nCount == 0) throw std::out_of_range("invalid deque<T> subscript");
  return (*this)[0];
}
const TocData& SessionInfo::front() const {
  if (m_nCount == 0) throw std::out_of_range("invalid deque<T> subscript");
  return (*this)[0];
}
TocData& SessionInfo::back() {
  if (m_nCount == 0) throw std::out_of_range("invalid deque<T> subscript");
  return (*this)[m_nCount - 1];
}
const TocData& SessionInfo::back() const {
  if (m_nCount == 0) throw std::out_of_range("invalid deque<T> subscript");
  return (*this)[m_nCount - 1];
}

void SessionInfo::Reserve(int front, int back) {
  const int freeFront = m_nFirst;
  const int freeBack = m_nCapacity - m_nFirst - m_nCount;
  if (freeFront >= front && freeBack >= back) return;
  const int newFront = std::max(front, m_nCount / 2 + 1);
  const int newBack = std::max(back, m_nCount / 2 + 1);
  const int cap = newFront + m_nCount + newBack;
  auto* items = new TocData[cap];
  for (int i = 0; i < m_nCount; ++i) items[newFront + i] = std::move(m_pItems[m_nFirst + i]);
  delete[] m_pItems;
  m_pItems = items;
  m_nFirst = newFront;
  m_nCapacity = cap;
}

void SessionInfo::push(const TocData& t) {
  Reserve(0, 1);
  m_pItems[m_nFirst + m_nCount] = t;
  ++m_nCount;
}

void SessionInfo::push_front(const TocData& t) {
  Reserve(1, 0);
  --m_nFirst;
  m_pItems[m_nFirst] = t;
  ++m_nCount;
}
