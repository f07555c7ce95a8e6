// zuksign: makes and checks the signature trailers of signed files.
//
//   zuksign keygen PRIVATE PUBLIC
//   zuksign sign --key PRIVATE --kind binary|text-dsa|text-md5 [--line-prefix P]
//                [--output OUT] FILE
//   zuksign verify [--mode N] [--public-key PUBLIC] [--line-prefix P] FILE
//   zuksign show FILE
//
// verify runs the updater's own file verification. Exit codes: 0 done (or valid), 1 invalid (or
// no trailer to show), 2 misuse, an unreadable file or a bad key, with one line on stderr.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "dsa_sign.h"
#include "key_files.h"
#include "package/byte_stream.h"
#include "file_bytes.h"
#include "signature/content_digest.h"
#include "signature/dsa_verify.h"
#include "signature/file_verification.h"
#include "signature/signature_trailer.h"
#include "signed_file.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitMisuse = 2;

const char kUsage[] =
    "usage: zuksign keygen PRIVATE PUBLIC\n"
    "       zuksign sign --key PRIVATE --kind binary|text-dsa|text-md5 [--line-prefix P]\n"
    "                    [--output OUT] FILE\n"
    "       zuksign verify [--mode N] [--public-key PUBLIC] [--line-prefix P] FILE\n"
    "       zuksign show FILE\n"
    "\n"
    "keygen  writes a new DSA key pair (1024-bit p, 160-bit q): PKCS#8 and X.509 DER.\n"
    "sign    appends a trailer to FILE (or writes FILE with it to OUT). text-md5 needs no key.\n"
    "        Key files may be DER or PEM. The DSA nonce is derived as RFC 6979 describes.\n"
    "verify  checks FILE as the updater does (mode 2 and the built-in key by default) and\n"
    "        prints valid or invalid, then the trailer's kind and signed length.\n"
    "show    prints the trailer's kind, signed length and signature.\n"
    "Exit codes: 0 done or valid, 1 invalid or no trailer, 2 usage error, unreadable file or\n"
    "bad key.\n";

int misuse(const std::string& message) {
  std::fprintf(stderr, "zuksign: %s\n", message.c_str());
  return kExitMisuse;
}

int usageError(const std::string& message) {
  return misuse(message + " (zuksign --help shows the usage)");
}

const char* kindName(TrailerKind kind) {
  switch (kind) {
    case BinaryDsa:
      return "binary";
    case TextDsa:
      return "text-dsa";
    case TextMd5:
      return "text-md5";
  }
  return "?";
}

const char* kindMagic(TrailerKind kind) {
  switch (kind) {
    case BinaryDsa:
      return kBinaryMagic;
    case TextDsa:
      return kTextDsaMagic;
    case TextMd5:
      return kTextMd5Magic;
  }
  return "?";
}

bool kindFromName(const std::string& name, TrailerKind* kind) {
  if (name == "binary") {
    *kind = BinaryDsa;
  } else if (name == "text-dsa") {
    *kind = TextDsa;
  } else if (name == "text-md5") {
    *kind = TextMd5;
  } else {
    return false;
  }
  return true;
}

std::string hexOf(const uint8_t* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

// Options of the form --name VALUE or --name=VALUE, and the positional arguments.
struct Arguments {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> positional;

  const std::string* option(const char* name) const {
    const std::string* found = nullptr;
    for (const auto& entry : options) {
      if (entry.first == name) found = &entry.second;
    }
    return found;
  }
};

bool parseArguments(int argc, char** argv, int first, const std::vector<std::string>& known,
                    Arguments* parsed, std::string* error) {
  bool optionsEnded = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      parsed->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name =
        arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    bool isKnown = false;
    for (const auto& k : known) isKnown = isKnown || k == name;
    if (!isKnown) {
      *error = "unknown option --" + name;
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      *error = "--" + name + " needs a value";
      return false;
    }
    parsed->options.emplace_back(name, value);
  }
  return true;
}

// Whether the updater's stream can open path at all; verify and show answer "unreadable" (2)
// rather than "invalid" (1) when it cannot.
bool checkReadable(const std::string& path, std::string* error) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) {
    *error = path + ": is a folder";
    return false;
  }
  FileStream file;
  if (!file.open(path.c_str())) {
    *error = path + ": cannot open (system error " + std::to_string(file.ioError()) + ")";
    return false;
  }
  file.close();
  return true;
}

int runKeygen(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!parseArguments(argc, argv, 2, {}, &args, &error)) return usageError(error);
  if (args.positional.size() != 2) return usageError("keygen needs PRIVATE and PUBLIC");
  if (!generateKeyPair(args.positional[0], args.positional[1], &error)) return misuse(error);
  return kExitOk;
}

int runSign(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!parseArguments(argc, argv, 2, {"key", "kind", "output", "line-prefix"}, &args, &error)) {
    return usageError(error);
  }
  if (args.positional.size() != 1) return usageError("sign needs exactly one FILE");
  const std::string& path = args.positional[0];
  const std::string* kindText = args.option("kind");
  TrailerKind kind;
  if (kindText == nullptr) return usageError("sign needs --kind");
  if (!kindFromName(*kindText, &kind)) {
    return usageError("unknown kind '" + *kindText + "' (binary, text-dsa, text-md5)");
  }
  const std::string* keyPath = args.option("key");
  const std::string* linePrefix = args.option("line-prefix");
  if (linePrefix != nullptr && kind != TextMd5) {
    return usageError("--line-prefix applies to text-md5 only");
  }
  DsaPrivateKey key;
  if (kind != TextMd5) {
    if (keyPath == nullptr) return usageError("a DSA trailer needs --key");
    if (!loadPrivateKey(*keyPath, &key, &error)) return misuse(*keyPath + ": " + error);
  }

  std::string bytes;
  if (!readFileBytes(path, &bytes, &error)) return misuse(path + ": " + error);
  std::vector<uint8_t> content(bytes.begin(), bytes.end());
  SignedFile signedFile;
  if (!makeSignedFile(content, kind, kind != TextMd5 ? &key : nullptr,
                      linePrefix != nullptr ? linePrefix->c_str() : nullptr, &signedFile, &error)) {
    return misuse(path + ": " + error);
  }

  // Written beside the target and checked there before it replaces anything.
  const std::string* output = args.option("output");
  const std::string target = output != nullptr ? *output : path;
  const std::string temporary = target + ".zuksign-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(signedFile.bytes.data()),
              static_cast<std::streamsize>(signedFile.bytes.size()));
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      return misuse(temporary + ": cannot write");
    }
  }
  std::error_code code;
  std::filesystem::permissions(temporary, std::filesystem::status(path, code).permissions(), code);
  const DsaKey publicKey = kind != TextMd5 ? publicKeyOf(key) : DsaPublicKey;
  if (!verifySignedFileWithKey(publicKey, temporary.c_str(), nullptr, kModeAcceptAll,
                               linePrefix != nullptr ? linePrefix->c_str() : nullptr)) {
    std::remove(temporary.c_str());
    return misuse(path + ": the signed file does not verify; nothing was written");
  }
  std::filesystem::rename(temporary, target, code);
  if (code) {
    std::remove(temporary.c_str());
    return misuse(target + ": cannot replace: " + code.message());
  }
  if (signedFile.movedCertificateTable) {
    std::fprintf(stderr,
                 "zuksign: warning: %s: the trailer stands before the certificate table, which "
                 "moved behind it; the Authenticode signature no longer matches and must be "
                 "renewed\n",
                 target.c_str());
  }
  std::printf("%s: %s trailer, signed length %u\n", target.c_str(), kindName(kind),
              signedFile.signedLength);
  return kExitOk;
}

void printTrailer(TrailerKind kind, uint32_t signedLength) {
  std::printf("kind: %s (%.8s)\n", kindName(kind), kindMagic(kind));
  std::printf("signed length: %u\n", signedLength);
}

int runVerify(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!parseArguments(argc, argv, 2, {"mode", "public-key", "line-prefix"}, &args, &error)) {
    return usageError(error);
  }
  if (args.positional.size() != 1) return usageError("verify needs exactly one FILE");
  const std::string& path = args.positional[0];
  int mode = kModeDsa;
  if (const std::string* modeText = args.option("mode")) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(modeText->c_str(), &end, 10);
    if (modeText->empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
      return usageError("--mode needs a number");
    }
    mode = static_cast<int>(value);
  }
  DsaKey key = DsaPublicKey;
  if (const std::string* keyPath = args.option("public-key")) {
    if (!loadPublicKey(*keyPath, &key, &error)) return misuse(*keyPath + ": " + error);
  }
  if (!checkReadable(path, &error)) return misuse(error);
  const std::string* linePrefix = args.option("line-prefix");
  const bool valid = verifySignedFileWithKey(key, path.c_str(), nullptr, mode,
                                             linePrefix != nullptr ? linePrefix->c_str() : nullptr);
  std::printf("%s\n", valid ? "valid" : "invalid");
  TrailerKind kind;
  uint32_t signedLength = 0;
  if (findSignatureTrailer(path.c_str(), nullptr, &kind, &signedLength)) {
    printTrailer(kind, signedLength);
  }
  return valid ? kExitOk : kExitInvalid;
}

int runShow(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!parseArguments(argc, argv, 2, {}, &args, &error)) return usageError(error);
  if (args.positional.size() != 1) return usageError("show needs exactly one FILE");
  const std::string& path = args.positional[0];
  if (!checkReadable(path, &error)) return misuse(error);
  uint8_t signature[kTrailerSignatureLength] = {};
  TrailerKind kind;
  uint32_t signedLength = 0;
  if (!findSignatureTrailer(path.c_str(), signature, &kind, &signedLength)) {
    std::printf("no trailer\n");
    return kExitInvalid;
  }
  printTrailer(kind, signedLength);
  const size_t length = kind == TextMd5 ? kDigestLength : kTrailerSignatureLength;
  // A TextMd5 trailer's "signature" is the 16-byte digest it stores.
  std::printf("signature: %s\n", hexOf(signature, length).c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usageError("a command is needed: keygen, sign, verify or show");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  if (command == "keygen") return runKeygen(argc, argv);
  if (command == "sign") return runSign(argc, argv);
  if (command == "verify") return runVerify(argc, argv);
  if (command == "show") return runShow(argc, argv);
  return usageError("unknown command '" + command + "'");
}
