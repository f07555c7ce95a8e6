// Scratch space for the run tests: a temporary folder of their own and files written into it
// (update packages, programs to verify).
#ifndef WQDUPDATE_TESTS_DRIVER_SCRATCH_FOLDER_H
#define WQDUPDATE_TESTS_DRIVER_SCRATCH_FOLDER_H

#include <string>

// A folder of its own under the system's temporary folder, removed with everything in it when
// the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes bytes to path, making the folders before its last separator as needed.
bool writeFile(const std::string& path, const std::string& bytes);

#endif  // WQDUPDATE_TESTS_DRIVER_SCRATCH_FOLDER_H
