#include "file_bytes.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

bool readFileBytes(const std::string& path, std::string* bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read";
    return false;
  }
  return true;
}
