#pragma once
// A drive reached through the Linux SCSI generic ioctl on its block node.
#include <string>
#include <vector>

#include "disc/Transport.h"

namespace orvane {

class SgTransport : public Transport {
 public:
  explicit SgTransport(std::string node);
  ~SgTransport() override;
  ScsiResult Execute(ScsiCommand& cmd) override;
  std::string Describe() const override { return m_node; }
  // Why the node could not be opened; empty once it is open.
  const std::string& OpenError() const { return m_openError; }

 private:
  bool EnsureOpen();
  std::string m_node;
  int m_fd = -1;
  std::string m_openError;
};

// The optical drives of the system, by their sr number: /dev/sr0, /dev/sr1...
// sysRoot and devRoot are injectable for tests.
std::vector<std::string> FindOpticalDrives(const std::string& sysRoot = "/sys/class/block",
                                           const std::string& devRoot = "/dev");

// A sentence telling why a node cannot be opened, for a user to act on.
std::string DescribeOpenFailure(const std::string& node, int err);

}  // namespace orvane
