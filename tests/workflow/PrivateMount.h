// A tmpfs mounted over a folder for one test, seen only by this process and
// the threads and children it starts afterwards (a private mount namespace),
// so a crashed test leaves no mount behind for anyone else. Tests run as
// root; where the kernel refuses, Error() says why and the test skips.
#pragma once

#include <string>

class PrivateMount {
 public:
  // options: tmpfs mount data, e.g. "size=1m"; readOnly mounts it read-only.
  PrivateMount(const std::string& folder, const std::string& options, bool readOnly);
  ~PrivateMount();
  PrivateMount(const PrivateMount&) = delete;
  PrivateMount& operator=(const PrivateMount&) = delete;

  bool Mounted() const { return mounted_; }
  // Turns the mounted folder read-only from now on.
  bool RemountReadOnly();
  const std::string& Error() const { return error_; }

 private:
  std::string folder_;
  std::string error_;
  bool mounted_ = false;
};
