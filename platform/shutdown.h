#pragma once
#include "platform/types.h"

namespace qx {

class Shutdown {
 public:
  virtual ~Shutdown() = default;
};

}  // namespace qx
