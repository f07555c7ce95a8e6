// process_timer: times complete runs of Windows programs from inside Wine.
//
// Timing `wine PROGRAM` from the Unix side also times Wine's loader start-up and its exit
// handshake, which come in steps of tens of milliseconds and blur the program's own work. This
// timer starts each program with CreateProcessA and stops the clock when the process handle is
// signalled, with the performance counter, alternating between the programs so that any drift
// of the machine falls on all of them alike.
//
// Usage: process_timer JOBFILE. The job file (one key=value per line, in this order):
//   runs=25
//   run=EXPECTED_EXIT_CODE|PROGRAM|ARGUMENTS      (one line per program, at least one)
// Output on stdout: one line per program, its index followed by the milliseconds of every run.
// Exit code 0; 1 when a program ended with another exit code than expected (or did not start);
// 2 for a bad job.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Program {
  DWORD expectedExit = 0;
  std::string path;
  std::string arguments;
  std::vector<double> milliseconds;
};

bool readJob(const char* path, int* runs, std::vector<Program>* programs) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char line[8192];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.rfind("runs=", 0) == 0) *runs = std::atoi(text.c_str() + 5);
    if (text.rfind("run=", 0) != 0) continue;
    const size_t first = text.find('|', 4);
    const size_t second = first == std::string::npos ? first : text.find('|', first + 1);
    if (second == std::string::npos) continue;
    Program program;
    program.expectedExit = static_cast<DWORD>(std::strtoul(text.c_str() + 4, nullptr, 10));
    program.path = text.substr(first + 1, second - first - 1);
    program.arguments = text.substr(second + 1);
    programs->push_back(program);
  }
  std::fclose(file);
  return *runs > 0 && !programs->empty();
}

// One complete run; false when it did not start or ended with another exit code.
bool timeRun(Program* program, double countsPerMillisecond) {
  std::string commandLine = "\"" + program->path + "\"";
  if (!program->arguments.empty()) commandLine += " " + program->arguments;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start;
  LARGE_INTEGER stop;
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(program->path.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "process_timer: cannot start %s\n", program->path.c_str());
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&stop);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  program->milliseconds.push_back(static_cast<double>(stop.QuadPart - start.QuadPart) /
                                  countsPerMillisecond);
  if (exitCode != program->expectedExit) {
    std::fprintf(stderr, "process_timer: %s ended with %lu, not %lu\n", program->path.c_str(),
                 static_cast<unsigned long>(exitCode),
                 static_cast<unsigned long>(program->expectedExit));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  std::vector<Program> programs;
  if (argc != 2 || !readJob(argv[1], &runs, &programs)) {
    std::fprintf(stderr, "usage: process_timer JOBFILE (runs=N and run=EXIT|PROGRAM|ARGS lines)\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const double countsPerMillisecond = static_cast<double>(frequency.QuadPart) / 1000.0;
  for (int run = 0; run < runs; ++run) {
    for (Program& program : programs) {
      if (!timeRun(&program, countsPerMillisecond)) return 1;
    }
  }
  for (size_t i = 0; i < programs.size(); ++i) {
    std::printf("%u", static_cast<unsigned>(i));
    for (double ms : programs[i].milliseconds) std::printf(" %.3f", ms);
    std::printf("\n");
  }
  return 0;
}
