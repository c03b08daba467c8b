#pragma once
#include "platform/types.h"

namespace qx {

class Spooler {
 public:
  virtual ~Spooler() = default;
};

}  // namespace qx
