#include "runtime/TraceFlags.h"

TraceFlags traces{};
