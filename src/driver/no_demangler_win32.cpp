// The updater's stand-in for the C++ run time's name demangler.
//
// When an exception escapes, libstdc++'s default terminate handler prints the exception's type,
// demangled, to the standard error stream, and so links the whole demangler (some 50 KB with its
// printf). The updater is a GUI program without a standard error stream, and none of its own code
// asks for demangled names; its link routes every reference to __cxa_demangle here
// (-Wl,--wrap=__cxa_demangle), and the handler then prints the mangled name instead.
#include <cstddef>

// Answers as the demangler does for a name it cannot decode: no result, status -2.
extern "C" char* __wrap___cxa_demangle(const char*, char*, size_t*, int* status) {
  if (status != nullptr) *status = -2;
  return nullptr;
}
