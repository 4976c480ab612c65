#include "base/descriptor.h"

#include <unistd.h>

namespace ecflux::base {

int Descriptor::close() {
  const int fd = std::exchange(fd_, -1);
  if (fd < 0 || !std::exchange(owned_, false)) return 0;
  return ::close(fd);
}

}  // namespace ecflux::base
