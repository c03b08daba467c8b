// Steps of the run that are not built yet. Each does nothing and reports that it added or
// removed nothing, so the run around them keeps its order, its messages and its counts.
// An operation moves to its subsystem's folder when it is built.
#include "app/CQXErsDoc.h"

namespace qx {

void CQXErsDoc::RestartSystem() {}

}  // namespace qx
