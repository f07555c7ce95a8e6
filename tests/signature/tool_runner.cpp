#include "tool_runner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) {
    if (c == '\'') {
      result += "'\\''";
    } else {
      result += c;
    }
  }
  return result + "'";
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes derInteger(Bytes value) {
  size_t first = 0;
  while (first + 1 < value.size() && value[first] == 0) ++first;
  value.erase(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(first));
  if (value[0] & 0x80) value.insert(value.begin(), 0);
  Bytes item = {0x02, static_cast<uint8_t>(value.size())};
  return concat({item, value});
}

}  // namespace

ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments) {
  ScratchFolder folder;
  const std::string outPath = folder.path("out"), errPath = folder.path("err");
  std::string command = quoted(program);
  for (const std::string& argument : arguments) command += " " + quoted(argument);
  command += " >" + quoted(outPath) + " 2>" + quoted(errPath) + " </dev/null";
  const int status = std::system(command.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = slurp(outPath);
  run.err = slurp(errPath);
  return run;
}

Bytes derSignature(const Bytes& raw40) {
  const Bytes r = derInteger(Bytes(raw40.begin(), raw40.begin() + 20));
  const Bytes s = derInteger(Bytes(raw40.begin() + 20, raw40.end()));
  Bytes sequence = {0x30, static_cast<uint8_t>(r.size() + s.size())};
  return concat({sequence, r, s});
}

Bytes rawSignature(const Bytes& der) {
  if (der.size() < 8 || der[0] != 0x30 || der[1] != der.size() - 2) {
    throw std::runtime_error("not a DSA signature: " + toHex(der));
  }
  Bytes raw;
  size_t at = 2;
  for (int i = 0; i < 2; ++i) {
    if (der[at] != 0x02) throw std::runtime_error("not a DSA signature: " + toHex(der));
    const size_t length = der[at + 1];
    Bytes value(der.begin() + static_cast<std::ptrdiff_t>(at + 2),
                der.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    while (value.size() > 20 && value[0] == 0) value.erase(value.begin());
    raw.insert(raw.end(), 20 - value.size(), 0);
    raw.insert(raw.end(), value.begin(), value.end());
    at += 2 + length;
  }
  return raw;
}
