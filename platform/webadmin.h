#pragma once
#include "platform/types.h"

namespace qx {

class WebAdmin {
 public:
  virtual ~WebAdmin() = default;
};

}  // namespace qx
