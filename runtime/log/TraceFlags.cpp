#include "runtime/log/TraceFlags.h"

TraceFlags traces{};
