#pragma once

#include <string>

// Names of board files that come from the controller must not lead out of the
// folder they are meant for; a ".." component is how they would.
bool HasParentComponent(const std::string& path);
