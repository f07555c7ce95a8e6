#include "driver/command_line.h"

#include <cstring>

#include "common/hex_number.h"
#include "driver/messages.h"

bool silentMode = false;
std::string storageFolder;
std::string oemName;

namespace {

constexpr char kQuote = '"';

bool isTokenCharacter(unsigned char byte) { return byte >= 0x21 && byte <= 0x7E; }

char lowerAscii(char byte) { return byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte; }

// Compares an option token (its first byte already standing for '/') with name, ignoring ASCII
// letter case; only the whole token counts.
bool isOption(const std::string& token, const char* name) {
  if (token.size() != std::strlen(name)) return false;
  for (size_t i = 1; i < token.size(); ++i) {
    if (lowerAscii(token[i]) != lowerAscii(name[i])) return false;
  }
  return true;
}

struct LanguageCode {
  const char* code;
  uint16_t langId;
};

constexpr LanguageCode kLanguageCodes[] = {
    {"cze", 1029}, {"eng", 1033}, {"esp", 1034}, {"ita", 1040}, {"sk", 1051},  {"ger", 1031},
    {"deu", 1031}, {"fre", 1036}, {"dut", 1043}, {"por", 2070}, {"pol", 1045},
};

enum class TokenState { Between, Plain, Quoted };

}  // namespace

void resetCommandLineSettings() {
  silentMode = false;
  storageFolder.clear();
  oemName.clear();
}

const char* argumentsAfterProgramName(const char* line) {
  if (line == nullptr) return "";
  // Compared as unsigned bytes: a signed comparison would take every byte of 0x80 and above
  // for a separator and cut the program's name there.
  const unsigned char* at = reinterpret_cast<const unsigned char*>(line);
  bool quoted = false;
  for (; *at != '\0' && (quoted || *at > ' '); ++at) {
    if (*at == kQuote) quoted = !quoted;
  }
  while (*at != '\0' && *at <= ' ') ++at;
  return reinterpret_cast<const char*>(at);
}

std::vector<std::string> tokenizeCommandLine(const char* line) {
  std::vector<std::string> tokens;
  if (line == nullptr) return tokens;
  TokenState state = TokenState::Between;
  std::string token;
  for (const char* at = line; *at != '\0'; ++at) {
    const char byte = *at;
    switch (state) {
      case TokenState::Between:
        if (!isTokenCharacter(static_cast<unsigned char>(byte))) break;
        token.clear();
        if (byte == kQuote) {
          state = TokenState::Quoted;
        } else {
          token.push_back(byte);
          state = TokenState::Plain;
        }
        break;
      case TokenState::Plain:
        if (isTokenCharacter(static_cast<unsigned char>(byte))) {
          token.push_back(byte);
        } else {
          tokens.push_back(token);
          state = TokenState::Between;
        }
        break;
      case TokenState::Quoted:
        if (byte == kQuote) {
          tokens.push_back(token);
          state = TokenState::Between;
        } else {
          token.push_back(byte);
        }
        break;
    }
  }
  if (state != TokenState::Between) tokens.push_back(token);
  return tokens;
}

uint16_t languageForCode(const char* code) {
  for (const LanguageCode& entry : kLanguageCodes) {
    if (std::strcmp(entry.code, code) == 0) return entry.langId;
  }
  return static_cast<uint16_t>(parseUnsignedHex(code) & 0xFFFF);
}

void parseCommandLine(const char* commandLine) {
  const std::vector<std::string> tokens = tokenizeCommandLine(commandLine);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (token.empty() || (token[0] != '-' && token[0] != '/')) continue;
    if (isOption(token, "/silent")) {
      silentMode = true;
      continue;
    }
    const bool storage = isOption(token, "/sfxstorage");
    const bool oem = isOption(token, "/oem");
    const bool lang = isOption(token, "/lang");
    if (!storage && !oem && !lang) continue;
    // The argument is the next token, whatever it looks like; it is not examined as an option.
    if (i + 1 >= tokens.size()) continue;
    const std::string& argument = tokens[++i];
    if (storage) {
      storageFolder = argument;
    } else if (oem) {
      oemName = argument;
    } else {
      uiLanguage = collapseLanguage(languageForCode(argument.c_str()));
    }
  }
}
