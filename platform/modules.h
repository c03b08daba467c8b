#pragma once
#include "platform/types.h"

namespace qx {

class Modules {
 public:
  virtual ~Modules() = default;
};

}  // namespace qx
