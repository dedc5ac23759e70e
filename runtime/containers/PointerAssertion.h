#pragma once

// A null reference-counted handle was dereferenced: a programming error that
// ends the process after saying so on the log stream.
[[noreturn]] void SmartPtrAssertion();
[[noreturn]] void SharedPtrAssertion();
