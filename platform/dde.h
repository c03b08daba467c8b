#pragma once
#include "platform/types.h"

namespace qx {

class Dde {
 public:
  virtual ~Dde() = default;
};

}  // namespace qx
