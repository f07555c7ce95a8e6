// wqupack: the package maker's tool.
//   wqupack create OUT --part NAME:TYPE:VERSION [--part ...] [--unpacked-size N]
//   wqupack read FILE    runs the updater's own reader and prints the records
//   wqupack list FILE    the container header and chunk tree, for a person
// Exit codes: 0 success, 1 a package that does not read, 2 misuse or an output that cannot be
// written.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/component_record.h"
#include "package/byte_stream.h"
#include "package/package_file.h"
#include "package_writer.h"

static const int kExitOk = 0;
static const int kExitFailed = 1;
static const int kExitUsage = 2;

static const char kHelp[] =
    "usage: wqupack create OUT --part NAME:TYPE:VERSION [--part ...] [--unpacked-size N]\n"
    "       wqupack read FILE\n"
    "       wqupack list FILE\n"
    "       wqupack --help\n"
    "\n"
    "create  writes a package file OUT with one PART per --part. VERSION is hexadecimal\n"
    "        (0701E2); NAME may contain ':'. The unpacked size in the header defaults to the\n"
    "        payload's length; N is decimal or 0x-prefixed hexadecimal.\n"
    "read    reads FILE with the updater's package reader and prints the status and the wqd and\n"
    "        setup records; exit 0 when the status is 0, 1 otherwise.\n"
    "list    prints FILE's container header and chunk tree; exit 1 when it does not decode.\n"
    "\n"
    "exit codes: 0 success, 1 a package that does not read, 2 misuse or an unwritable output\n";

static int usageError(const char* message, const char* detail = nullptr) {
  if (detail != nullptr) {
    std::fprintf(stderr, "wqupack: %s '%s' (try wqupack --help)\n", message, detail);
  } else {
    std::fprintf(stderr, "wqupack: %s (try wqupack --help)\n", message);
  }
  return kExitUsage;
}

// A text as a quoted-string body: every byte outside 0x20-0x7E, and '"' and '\', as \xNN.
static std::string escapeText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Whole-string unsigned number, decimal or 0x-prefixed hexadecimal, within 32 bits.
static bool parseSize(const char* text, uint32_t* value) {
  int base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  if (*text == '\0') return false;
  uint64_t result = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    int digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (base == 16 && *p >= 'a' && *p <= 'f') {
      digit = *p - 'a' + 10;
    } else if (base == 16 && *p >= 'A' && *p <= 'F') {
      digit = *p - 'A' + 10;
    } else {
      return false;
    }
    result = result * base + digit;
    if (result > 0xFFFFFFFFu) return false;
  }
  *value = static_cast<uint32_t>(result);
  return true;
}

// NAME:TYPE:VERSION, split at the last two colons so that NAME may hold colons. VERSION is 1 to 8
// hexadecimal digits, optionally after "0x".
static bool parsePart(const std::string& text, PackagePart* part) {
  size_t last = text.rfind(':');
  if (last == std::string::npos || last == 0) return false;
  size_t middle = text.rfind(':', last - 1);
  if (middle == std::string::npos) return false;
  std::string version = text.substr(last + 1);
  if (version.size() > 2 && version[0] == '0' && (version[1] == 'x' || version[1] == 'X')) {
    version.erase(0, 2);
  }
  if (version.empty() || version.size() > 8) return false;
  uint32_t value = 0;
  if (!parseSize(("0x" + version).c_str(), &value)) return false;
  part->name = text.substr(0, middle);
  part->type = text.substr(middle + 1, last - middle - 1);
  part->version = value;
  return true;
}

static int runCreate(int argc, char** argv) {
  if (argc < 1) return usageError("create needs an output file");
  const char* out = argv[0];
  std::vector<PackagePart> parts;
  bool haveUnpacked = false;
  uint32_t unpacked = 0;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--part" || option == "--unpacked-size") {
      if (i + 1 >= argc) return usageError("missing value after", argv[i]);
      const char* value = argv[++i];
      if (option == "--part") {
        PackagePart part;
        if (!parsePart(value, &part))
          return usageError("--part wants NAME:TYPE:HEXVERSION, not", value);
        parts.push_back(part);
      } else {
        if (!parseSize(value, &unpacked))
          return usageError("--unpacked-size wants a number, not", value);
        haveUnpacked = true;
      }
    } else {
      return usageError("unknown option", argv[i]);
    }
  }
  if (parts.empty()) return usageError("create needs at least one --part");

  std::vector<uint8_t> file;
  if (!buildPackageFile(buildPackagePayload(parts), haveUnpacked ? &unpacked : nullptr, &file)) {
    std::fprintf(stderr, "wqupack: %s: cannot compress the payload\n", out);
    return kExitUsage;
  }
  FILE* stream = std::fopen(out, "wb");
  if (stream == nullptr) {
    std::fprintf(stderr, "wqupack: %s: cannot write: %s\n", out, std::strerror(errno));
    return kExitUsage;
  }
  bool written = std::fwrite(file.data(), 1, file.size(), stream) == file.size();
  written = (std::fclose(stream) == 0) && written;
  if (!written) {
    std::fprintf(stderr, "wqupack: %s: cannot write: %s\n", out, std::strerror(errno));
    std::remove(out);
    return kExitUsage;
  }
  return kExitOk;
}

static void printRecord(const char* label, int number) {
  const ComponentRecord* record = componentRecord(number);
  std::printf("%s version=0x%08" PRIX32 " name=\"%s\"\n", label,
              static_cast<uint32_t>(record->packageVersion),
              escapeText(record->packageName).c_str());
}

static int runRead(const char* path) {
  uint32_t status = readPackageFile(path);
  std::printf("status 0x%08" PRIX32 "\n", status);
  printRecord("wqd", componentFromName("wqd"));
  printRecord("setup", componentFromName("setup"));
  return status == 0 ? kExitOk : kExitFailed;
}

static std::string tagText(uint32_t tag) {
  std::string text;
  for (int shift = 0; shift < 32; shift += 8) text += static_cast<char>(tag >> shift);
  return escapeText(text);
}

// Lists the chunks in [offset, offset + length) of payload; PART bodies one level deeper. Only
// for a person: it reports what it finds and never fails.
static void listChunks(const uint8_t* payload, uint32_t offset, uint32_t length, int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  uint32_t position = 0;
  while (position < length) {
    uint32_t left = length - position;
    if (left < kChunkHeaderLength) {
      std::printf("%s%" PRIu32 " trailing bytes (shorter than a chunk header)\n", indent.c_str(),
                  left);
      return;
    }
    const uint8_t* header = payload + offset + position;
    uint32_t tag = 0;
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) {
      tag = tag << 8 | header[i];
      size = size << 8 | header[4 + i];
    }
    position += kChunkHeaderLength;
    left -= kChunkHeaderLength;
    const uint8_t* body = header + kChunkHeaderLength;
    bool past = size > left;
    std::printf("%s%s length %" PRIu32 " at %" PRIu32, indent.c_str(), tagText(tag).c_str(), size,
                offset + position - kChunkHeaderLength);
    if (past) {
      std::printf(" (runs %" PRIu32 " bytes past the end)\n", size - left);
      return;
    }
    if (depth > 0 && (tag == kTagName || tag == kTagType)) {
      std::printf(" \"%s\"",
                  escapeText(std::string(reinterpret_cast<const char*>(body), size)).c_str());
    } else if (depth > 0 && tag == kTagVers && size == 4) {
      uint32_t version = static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
                         static_cast<uint32_t>(body[2]) << 16 |
                         static_cast<uint32_t>(body[3]) << 24;
      std::printf(" 0x%08" PRIX32, version);
    } else if (depth > 0 && tag == kTagVers) {
      std::printf(" (a version must be 4 bytes)");
    }
    std::printf("\n");
    if (depth == 0 && tag == kTagPart) listChunks(payload, offset + position, size, depth + 1);
    position += size;
  }
}

static int runList(const char* path) {
  FileStream file;
  if (!file.open(path)) {
    std::fprintf(stderr, "wqupack: %s: cannot open (system error %" PRIu32 ")\n", path,
                 file.ioError());
    return kExitFailed;
  }
  uint32_t fileSize = file.size();
  uint8_t header[kPackageHeaderLength] = {};
  uint32_t got = 0;
  file.read(header, kPackageHeaderLength, &got);
  file.seek(0, 0);
  std::printf("file       %s, %" PRIu32 " bytes\n", path, fileSize);
  bool magicOk =
      got >= kPackageMagicLength && std::memcmp(header, kPackageMagic, kPackageMagicLength) == 0;
  std::string magic(reinterpret_cast<const char*>(header),
                    got < kPackageMagicLength ? got : kPackageMagicLength);
  std::printf("magic      \"%s\"%s\n", escapeText(magic).c_str(),
              magicOk ? "" : " (not a package)");
  if (got >= kPackageHeaderLength) {
    uint32_t unpacked = 0;
    uint32_t packed = 0;
    for (int i = 3; i >= 0; --i) {
      unpacked = unpacked << 8 | header[16 + i];
      packed = packed << 8 | header[20 + i];
    }
    std::printf("unpacked   %" PRIu32 "\n", unpacked);
    std::printf("packed     %" PRIu32 "%s\n", packed,
                packed > fileSize - kPackageHeaderLength ? " (more than the file holds)" : "");
  } else {
    std::printf("header     cut short after %" PRIu32 " bytes\n", got);
  }
  uint8_t* payload = nullptr;
  uint32_t length = 0;
  bool decoded = decodePackageContainer(file, &payload, &length);
  file.close();
  if (!decoded) {
    std::printf("payload    does not decode\n");
    return kExitFailed;
  }
  std::printf("payload    %" PRIu32 " bytes\n", length);
  listChunks(payload, 0, length, 0);
  freePackagePayload(payload);
  return kExitOk;
}

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  }
  if (argc < 2) return usageError("no command given");
  std::string command = argv[1];
  if (command == "create") return runCreate(argc - 2, argv + 2);
  if (command == "read" || command == "list") {
    if (argc != 3) return usageError("wants exactly one file after", argv[1]);
    return command == "read" ? runRead(argv[2]) : runList(argv[2]);
  }
  return usageError("unknown command", argv[1]);
}
