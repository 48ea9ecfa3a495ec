#include "xif/XifLog.h"

namespace xif {
Q_LOGGING_CATEGORY(lcXif, "lonworks.xif")
}
