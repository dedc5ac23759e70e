#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

// A Unix socket address for path, cut to what sun_path holds with its
// terminator (107 characters).
sockaddr_un UnixSocketAddress(const std::string& path);
