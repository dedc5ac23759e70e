#pragma once

// The pid of a process whose command name is name, or -1. A positive pid is
// tested first; when it does not match, or none is given, every process under
// /proc is searched.
int find_proc_by_name(const char* name, int pid);
