#include "platform/orvane/SgTransport.h"

#include <fcntl.h>
#include <grp.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace orvane {

SgTransport::SgTransport(std::string node) : m_node(std::move(node)) {}

SgTransport::~SgTransport() {
  if (m_fd >= 0) ::close(m_fd);
}

std::string DescribeOpenFailure(const std::string& node, int err) {
  std::string msg = node + ": " + std::strerror(err);
  if (err == EACCES || err == EPERM) {
    struct stat st {};
    if (::stat(node.c_str(), &st) == 0) {
      if (const group* g = ::getgrgid(st.st_gid)) {
        msg += " (add the user to the group '" + std::string(g->gr_name) + "' that owns the node, then log in again)";
      }
    }
  } else if (err == ENOMEDIUM) {
    msg += " (no disc in the drive)";
  }
  return msg;
}

bool SgTransport::EnsureOpen() {
  if (m_fd >= 0) return true;
  // O_NONBLOCK: open a drive with an open tray or no disc, so TEST UNIT READY
  // can say so instead of the open failing. Read-write first: the kernel lets
  // a user without CAP_SYS_RAWIO send START STOP UNIT and PREVENT ALLOW MEDIUM
  // REMOVAL (Eject, Close tray, Lock) only through a node opened for writing.
  // A node the user may only read still serves every read command.
  m_fd = ::open(m_node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
    m_fd = ::open(m_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) {
    m_openError = DescribeOpenFailure(m_node, errno);
    return false;
  }
  int version = 0;
  if (::ioctl(m_fd, SG_GET_VERSION_NUM, &version) < 0 || version < 30000) {
    m_openError = m_node + ": not a SCSI generic capable device";
    ::close(m_fd);
    m_fd = -1;
    return false;
  }
  m_openError.clear();
  return true;
}

ScsiResult SgTransport::Execute(ScsiCommand& cmd) {
  ScsiResult r;
  if (!EnsureOpen()) {
    r.status = -1;
    r.error = m_openError;
    return r;
  }
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.cmd_len = static_cast<unsigned char>(cmd.cdbLength);
  io.cmdp = cmd.cdb;
  io.dxferp = cmd.data;
  io.dxfer_len = static_cast<unsigned>(cmd.dataLength);
  io.dxfer_direction = cmd.direction == DataDirection::FromDevice ? SG_DXFER_FROM_DEV
                       : cmd.direction == DataDirection::ToDevice ? SG_DXFER_TO_DEV
                                                                  : SG_DXFER_NONE;
  if (cmd.dataLength == 0) io.dxfer_direction = SG_DXFER_NONE;
  io.sbp = r.sense;
  io.mx_sb_len = sizeof r.sense;
  io.timeout = cmd.timeoutMs;
  if (::ioctl(m_fd, SG_IO, &io) < 0) {
    r.status = -1;
    r.error = m_node + ": SG_IO failed: " + std::strerror(errno);
    return r;
  }
  r.senseLength = io.sb_len_wr;
  const int resid = std::max(0, io.resid);
  r.transferred = cmd.dataLength > static_cast<std::size_t>(resid) ? cmd.dataLength - resid : 0;
  if (io.status != 0 || (io.info & SG_INFO_OK_MASK) != SG_INFO_OK) {
    if (io.sb_len_wr > 0 || (io.status & 0x7E) == 0x02 /*CHECK CONDITION*/ || io.masked_status == 0x01 /* CHECK CONDITION, shifted */) {
      r.status = 2;
    } else if (io.host_status != 0 || io.driver_status != 0) {
      r.status = -1;
      r.error = m_node + (io.duration >= cmd.timeoutMs ? ": command timed out" : ": command failed in the host adapter");
    } else {
      r.status = io.status ? io.status : -1;
    }
  }
  return r;
}

std::vector<std::string> FindOpticalDrives(const std::string& sysRoot, const std::string& devRoot) {
  namespace fs = std::filesystem;
  std::vector<std::pair<int, std::string>> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(sysRoot, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() < 3 || name.compare(0, 2, "sr") != 0) continue;
    if (!std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    found.emplace_back(std::stoi(name.substr(2)), devRoot + "/" + name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> nodes;
  for (auto& f : found) nodes.push_back(f.second);
  return nodes;
}

}  // namespace orvane
