// Running the command-line tools from the host tests (zuksign, openssl, osslsigncode).
#ifndef WQDUPDATE_TESTS_SIGNATURE_TOOL_RUNNER_H
#define WQDUPDATE_TESTS_SIGNATURE_TOOL_RUNNER_H

#include <string>
#include <vector>

#include "test_support.h"

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the program with the arguments (no shell quoting needed) and collects its output.
ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments);

// r and s as the DER SEQUENCE of two INTEGERs that OpenSSL reads and writes, and back.
Bytes derSignature(const Bytes& raw40);
Bytes rawSignature(const Bytes& der);

#endif  // WQDUPDATE_TESTS_SIGNATURE_TOOL_RUNNER_H
