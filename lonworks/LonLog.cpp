#include "lonworks/LonLog.h"

Q_LOGGING_CATEGORY(lcLibrary, "lonworks.library", QtInfoMsg)
