// A small program that checks its own signature the way the updater does when it starts: the
// build signs it with wqd_sign_program, and it exits with 0 when its file verifies in mode 2 and
// with 1 when it does not.
#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "signature/file_verification.h"

int main() {
  char path[4096];
#if defined(_WIN32)
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return 2;
#else
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return 2;
  path[length] = '\0';
#endif
  return verifySignedFile(path, 2, nullptr) ? 0 : 1;
}
