// msgbox_probe: runs one program and reports every message box it shows, as a user would see it.
//
// The end-to-end suite cannot look into a Windows program under Wine, so this probe stands in
// for the user: it starts the program, watches for the dialog boxes (window class "#32770") that
// the program's process opens, reads each box's caption, text, buttons and icon, saves a picture
// of it, presses OK, and when the program has ended writes its exit code. Everything goes into
// one report file of JSON lines (UTF-8), one line per box and a closing line:
//
//   {"box":1,"caption":"...","text":"...","caption_ansi":"hex","text_ansi":"hex",
//    "icon":"error","icon_scores":{...},"buttons":["OK"],"picture":"...bmp"}
//   {"exit":2,"timeout":false,"langid":1029,"acp":1250,"boxes":1}
//
// Texts are read twice: through the wide functions (shown as UTF-8), and through the 8-bit ones
// (as hex bytes in the probe's ANSI code page), so that a test can check both what the user reads
// and the exact bytes a program in that code page handed to MessageBoxA.
//
// The job comes from a small text file (one key=value per line) instead of the probe's own
// command line, so that the program's command line reaches CreateProcessA byte for byte, without
// a second round of quoting:
//
//   program=C:\path\wqdupdate.exe     (required)
//   arguments=/silent /sfxstorage "C:\x y"
//   directory=C:\path                 (current directory of the program; default: the probe's)
//   report=C:\path\report.jsonl       (required)
//   pictures=C:\path\box              (optional; box N is saved as <pictures>-N.bmp)
//   timeout=30000                     (milliseconds; the program is ended after that)
//
// Usage: msgbox_probe JOBFILE. Exit code 0 when the program ran to its end (whatever its own exit
// code), 1 when it had to be ended after the timeout, 2 for a bad job, 3 when it did not start.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Job {
  std::string program;
  std::string arguments;
  std::string directory;
  std::string report;
  std::string pictures;
  DWORD timeoutMs = 30000;
};

bool readJob(const char* path, Job* job) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char line[8192];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    if (key == "program") job->program = value;
    if (key == "arguments") job->arguments = value;
    if (key == "directory") job->directory = value;
    if (key == "report") job->report = value;
    if (key == "pictures") job->pictures = value;
    if (key == "timeout")
      job->timeoutMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
  }
  std::fclose(file);
  return !job->program.empty() && !job->report.empty();
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length,
                      nullptr, nullptr);
  return out;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string hexBytes(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// Window texts of another process: WM_GETTEXT is marshalled by the system, in both widths.
std::wstring windowTextW(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return std::wstring();
  }
  std::vector<wchar_t> buffer(length + 2, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 2000, &copied);
  return std::wstring(buffer.data());
}

std::string windowTextA(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return std::string();
  }
  // The A length may count a double-byte character twice; leave room for that.
  std::vector<char> buffer(2 * length + 2, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 2000, &copied);
  return std::string(buffer.data());
}

std::string className(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// A captured rectangle of the screen, 32-bit pixels, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Draws into a fresh 32-bit DIB section and hands its pixels back.
template <typename Paint>
Picture paintPicture(int width, int height, Paint paint) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    paint(memory, screen);
    GdiFlush();
    const uint32_t* source = static_cast<const uint32_t*>(bits);
    picture.pixels.assign(source, source + static_cast<size_t>(width) * height);
    for (uint32_t& pixel : picture.pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return picture;
}

// What is on the screen now: with no compositor under Xvfb the screen holds exactly what the
// user would see, title bar included.
Picture captureScreen(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return Picture();
  return paintPicture(width, height, [&](HDC memory, HDC screen) {
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  });
}

bool writeBitmap(const std::string& path, const Picture& picture) {
  if (picture.pixels.empty()) return false;
  const uint32_t rowBytes = static_cast<uint32_t>(picture.width) * 3;
  const uint32_t stride = (rowBytes + 3) & ~3u;
  const uint32_t imageBytes = stride * static_cast<uint32_t>(picture.height);
  BITMAPFILEHEADER fileHeader = {};
  BITMAPINFOHEADER infoHeader = {};
  fileHeader.bfType = 0x4D42;
  fileHeader.bfOffBits = sizeof fileHeader + sizeof infoHeader;
  fileHeader.bfSize = fileHeader.bfOffBits + imageBytes;
  infoHeader.biSize = sizeof infoHeader;
  infoHeader.biWidth = picture.width;
  infoHeader.biHeight = picture.height;  // bottom row first
  infoHeader.biPlanes = 1;
  infoHeader.biBitCount = 24;
  infoHeader.biCompression = BI_RGB;
  infoHeader.biSizeImage = imageBytes;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fwrite(&fileHeader, sizeof fileHeader, 1, file);
  std::fwrite(&infoHeader, sizeof infoHeader, 1, file);
  std::vector<uint8_t> row(stride, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t pixel = picture.at(x, y);
      row[3 * x] = pixel & 0xFF;
      row[3 * x + 1] = (pixel >> 8) & 0xFF;
      row[3 * x + 2] = (pixel >> 16) & 0xFF;
    }
    std::fwrite(row.data(), 1, row.size(), file);
  }
  std::fclose(file);
  return true;
}

int channelDistance(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d =
        std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    if (d > most) most = d;
  }
  return most;
}

// Share of the reference's pixels (in parts per thousand) that differ from the captured area,
// at the best of a few small offsets; 0 is a perfect match.
int mismatch(const Picture& captured, const Picture& reference) {
  int best = 1000;
  for (int dy = -4; dy <= 4; ++dy) {
    for (int dx = -4; dx <= 4; ++dx) {
      int differing = 0;
      int counted = 0;
      for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
          const int cx = x + dx;
          const int cy = y + dy;
          if (cx < 0 || cy < 0 || cx >= captured.width || cy >= captured.height) {
            ++differing;
          } else if (channelDistance(captured.at(cx, cy), reference.at(x, y)) > 24) {
            ++differing;
          }
          ++counted;
        }
      }
      const int score = counted == 0 ? 1000 : differing * 1000 / counted;
      if (score < best) best = score;
    }
  }
  return best;
}

struct IconVerdict {
  std::string name;
  std::string scores;
};

// The icon handle of another process cannot be inspected here, so the icon is told by what the
// user sees: the pixels of the icon control are compared with the system's standard icons, each
// drawn by this probe on the box's own background colour.
IconVerdict identifyIcon(HWND iconControl) {
  IconVerdict verdict;
  DWORD_PTR handle = 0;
  if (iconControl == nullptr || !IsWindowVisible(iconControl) ||
      !SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &handle) ||
      handle == 0) {
    verdict.name = "none";
    verdict.scores = "{}";
    return verdict;
  }
  RECT rect;
  GetWindowRect(iconControl, &rect);
  const Picture captured = captureScreen(rect);
  if (captured.pixels.empty()) {
    verdict.name = "unknown";
    verdict.scores = "{}";
    return verdict;
  }
  const uint32_t background = captured.at(0, 0);
  const struct {
    const char* name;
    WORD id;
  } kCandidates[] = {{"error", 32513},        // IDI_ERROR (IDI_HAND)
                     {"information", 32516},  // IDI_INFORMATION (IDI_ASTERISK)
                     {"warning", 32515},      // IDI_WARNING (IDI_EXCLAMATION)
                     {"question", 32514}};    // IDI_QUESTION
  int bestScore = 1001;
  verdict.scores = "{";
  for (const auto& candidate : kCandidates) {
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(candidate.id));
    const int size = GetSystemMetrics(SM_CXICON);
    const Picture reference = paintPicture(size, size, [&](HDC memory, HDC) {
      HBRUSH brush = CreateSolidBrush(
          RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
      RECT all = {0, 0, size, size};
      FillRect(memory, &all, brush);
      DeleteObject(brush);
      DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    });
    const int score = reference.pixels.empty() ? 1000 : mismatch(captured, reference);
    if (verdict.scores.size() > 1) verdict.scores += ",";
    verdict.scores += jsonString(candidate.name) + ":" + std::to_string(score);
    if (score < bestScore) {
      bestScore = score;
      verdict.name = candidate.name;
    }
  }
  verdict.scores += "}";
  if (bestScore > 50) verdict.name = "unknown";  // nothing standard: more than 5% differs
  return verdict;
}

struct Controls {
  HWND icon = nullptr;
  HWND text = nullptr;
  std::vector<HWND> buttons;
};

BOOL CALLBACK collectControl(HWND child, LPARAM parameter) {
  Controls* controls = reinterpret_cast<Controls*>(parameter);
  const std::string name = className(child);
  if (lstrcmpiA(name.c_str(), "Static") == 0) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
      controls->icon = child;
    } else if (controls->text == nullptr ||
               windowTextW(child).size() > windowTextW(controls->text).size()) {
      controls->text = child;
    }
  } else if (lstrcmpiA(name.c_str(), "Button") == 0 && IsWindowVisible(child)) {
    controls->buttons.push_back(child);
  }
  return TRUE;
}

struct BoxSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK findBox(HWND window, LPARAM parameter) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) && className(window) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Waits until the box has been painted: two screen captures in a row that agree.
Picture settledPicture(HWND box) {
  RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Picture previous;
  for (int attempt = 0; attempt < 40; ++attempt) {
    Sleep(25);
    RECT rect;
    GetWindowRect(box, &rect);
    Picture current = captureScreen(rect);
    if (!current.pixels.empty() && current.width == previous.width &&
        current.height == previous.height && current.pixels == previous.pixels) {
      return current;
    }
    previous = std::move(current);
  }
  return previous;
}

std::string reportBox(HWND box, int number, const Job& job) {
  Controls controls;
  EnumChildWindows(box, collectControl, reinterpret_cast<LPARAM>(&controls));
  const Picture picture = settledPicture(box);
  std::string picturePath;
  if (!job.pictures.empty()) {
    picturePath = job.pictures + "-" + std::to_string(number) + ".bmp";
    if (!writeBitmap(picturePath, picture)) picturePath.clear();
  }
  const IconVerdict icon = identifyIcon(controls.icon);
  std::string line = "{\"box\":" + std::to_string(number);
  line += ",\"caption\":" + jsonString(utf8(windowTextW(box)));
  line += ",\"text\":" + jsonString(controls.text ? utf8(windowTextW(controls.text)) : "");
  line += ",\"caption_ansi\":" + jsonString(hexBytes(windowTextA(box)));
  line += ",\"text_ansi\":" + jsonString(controls.text ? hexBytes(windowTextA(controls.text)) : "");
  line += ",\"icon\":" + jsonString(icon.name);
  line += ",\"icon_scores\":" + icon.scores;
  line += ",\"buttons\":[";
  for (size_t i = 0; i < controls.buttons.size(); ++i) {
    if (i > 0) line += ",";
    line += jsonString(utf8(windowTextW(controls.buttons[i])));
  }
  line += "],\"picture\":" + jsonString(picturePath) + "}\n";

  return line;
}

// Presses OK the way a click would: the button's notification to its dialog.
void pressOk(HWND box) {
  const WPARAM command = MAKEWPARAM(IDOK, BN_CLICKED);
  PostMessageW(box, WM_COMMAND, command, reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

}  // namespace

int main(int argc, char** argv) {
  Job job;
  if (argc != 2 || !readJob(argv[1], &job)) {
    std::fprintf(stderr, "usage: msgbox_probe JOBFILE (with program= and report= lines)\n");
    return 2;
  }
  FILE* report = std::fopen(job.report.c_str(), "wb");
  if (report == nullptr) {
    std::fprintf(stderr, "msgbox_probe: cannot write %s\n", job.report.c_str());
    return 2;
  }

  std::string commandLine = "\"" + job.program + "\"";
  if (!job.arguments.empty()) commandLine += " " + job.arguments;
  std::vector<char> commandBuffer(commandLine.begin(), commandLine.end());
  commandBuffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(job.program.c_str(), commandBuffer.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, job.directory.empty() ? nullptr : job.directory.c_str(), &startup,
                      &process)) {
    const DWORD error = GetLastError();
    std::fprintf(report, "{\"start_error\":%lu}\n", static_cast<unsigned long>(error));
    std::fclose(report);
    std::fprintf(stderr, "msgbox_probe: cannot start %s (error %lu)\n", job.program.c_str(),
                 static_cast<unsigned long>(error));
    return 3;
  }
  CloseHandle(process.hThread);

  const DWORD started = GetTickCount();
  bool timedOut = false;
  int boxes = 0;
  HWND lastBox = nullptr;
  DWORD lastPress = 0;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 15) == WAIT_OBJECT_0) break;
    if (GetTickCount() - started > job.timeoutMs) {
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 5000);
      timedOut = true;
      break;
    }
    if (lastBox != nullptr && IsWindow(lastBox) && IsWindowVisible(lastBox)) {
      // A box that was answered may linger for a moment; it is reported once, and pressed again
      // should the first press have come too early for it.
      if (GetTickCount() - lastPress > 1000) {
        pressOk(lastBox);
        lastPress = GetTickCount();
      }
      continue;
    }
    lastBox = nullptr;
    BoxSearch search = {process.dwProcessId, nullptr};
    EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) continue;
    lastBox = search.found;
    ++boxes;
    const std::string line = reportBox(search.found, boxes, job);
    std::fputs(line.c_str(), report);
    std::fflush(report);
    pressOk(search.found);
    lastPress = GetTickCount();
  }

  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  std::fprintf(report, "{\"exit\":%ld,\"timeout\":%s,\"langid\":%u,\"acp\":%u,\"boxes\":%d}\n",
               static_cast<long>(exitCode), timedOut ? "true" : "false",
               static_cast<unsigned>(GetUserDefaultLangID()), static_cast<unsigned>(GetACP()),
               boxes);
  std::fclose(report);
  return timedOut ? 1 : 0;
}
