#include "test_support.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

Bytes fromHex(const std::string& text) {
  Bytes bytes;
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int value = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (value < 0 || value > 15) throw std::invalid_argument("not hexadecimal: " + text);
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + value));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of digits: " + text);
  return bytes;
}

std::string toHex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

ScratchFolder::ScratchFolder() {
  // Test cases run as parallel processes: the name must differ between processes, too.
  static std::atomic<int> counter{0};
  static const unsigned processTag = std::random_device()();
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  folder_ = std::filesystem::temp_directory_path() /
            ("wqd-signature-" + std::to_string(processTag) + "-" + std::to_string(stamp) + "-" +
             std::to_string(counter++));
  std::filesystem::create_directories(folder_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ScratchFolder::path(const std::string& name) const { return (folder_ / name).string(); }

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string& VectorCase::field(const std::string& name) const {
  static const std::string empty;
  auto found = fields.find(name);
  return found == fields.end() ? empty : found->second;
}

Bytes VectorCase::bytes(const std::string& name) const {
  const std::string& value = field(name);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return bytesOf(value.substr(1, value.size() - 2));
  }
  return fromHex(value);
}

std::vector<VectorCase> readVectorFile(const std::string& path) {
  std::vector<VectorCase> cases;
  std::ifstream in(path, std::ios::binary);
  std::map<std::string, std::string> fields;
  std::string line, pending;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A value may go on over several lines, each but the last ending in a backslash.
    if (!line.empty() && line.back() == '\\') {
      line.pop_back();
      pending += line;
      continue;
    }
    line = pending + line;
    pending.clear();
    const size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
    const std::string name = line.substr(0, colon);
    size_t start = colon + 1;
    while (start < line.size() && line[start] == ' ') ++start;
    const std::string value = line.substr(start);
    if (name == "Test") {
      VectorCase one;
      one.fields = fields;
      one.test = value;
      cases.push_back(one);
    } else {
      fields[name] = value;
    }
  }
  return cases;
}

std::string testVectorPath(const std::string& name) {
  return std::string(WQD_CRYPTOPP_TEST_VECTORS) + "/" + name;
}

const DsaPrivateKey& rfc6979Key() {
  static const DsaPrivateKey key = [] {
    auto integer = [](const char* hex) {
      const Bytes bytes = fromHex(hex);
      return CryptoPP::Integer(bytes.data(), bytes.size());
    };
    DsaPrivateKey k;
    k.p = integer(
        "86F5CA03DCFEB225063FF830A0C769B9DD9D6153AD91D7CE27F787C43278B447"
        "E6533B86B18BED6E8A48B784A14C252C5BE0DBF60B86D6385BD2F12FB763ED88"
        "73ABFD3F5BA2E0A8C0A59082EAC056935E529DAF7C610467899C77ADEDFC846C"
        "881870B7B19B2B58F9BE0521A17002E3BDD6B86685EE90B3D9A1B02B782B1779");
    k.q = integer("996F967F6C8E388D9E28D01E205FBA957A5698B1");
    k.g = integer(
        "07B0F92546150B62514BB771E2A0C0CE387F03BDA6C56B505209FF25FD3C133D"
        "89BBCD97E904E09114D9A7DEFDEADFC9078EA544D2E401AEECC40BB9FBBF78FD"
        "87995A10A1C27CB7789B594BA7EFB5C4326A9FE59A070E136DB77175464ADCA4"
        "17BE5DCE2F40D10A46A3A3943F26AB7FD9C0398FF8C76EE0A56826A8A88F1DBD");
    k.x = integer("411602CB19A6CCC34494D79D98EF1E7ED5AF25F7");
    k.y = integer(
        "5DF5E01DED31D0297E274E1691C192FE5868FEF9E19A84776454B100CF16F653"
        "92195A38B90523E2542EE61871C0440CB87C322FC4B4D2EC5E1E7EC766E1BE8D"
        "4CE935437DC11C3C8FD426338933EBFE739CB3465F4D3668C5E473508253B1E6"
        "82F65CBDC4FAE93C2EA212390E54905A86E2223170B44EAA7DA5DD9FFCFB7F3B");
    return k;
  }();
  return key;
}

const DsaKey& rfc6979PublicKey() {
  static const DsaKey key = publicKeyOf(rfc6979Key());
  return key;
}

WatchedStream::WatchedStream(Bytes bytes) : bytes_(std::move(bytes)) {
  static uint8_t empty = 0;
  attach(bytes_.empty() ? &empty : bytes_.data(), static_cast<uint32_t>(bytes_.size()));
}

bool WatchedStream::read(void* dst, uint32_t length, uint32_t* count) {
  if (position() > bytes_.size() || length > bytes_.size() - position()) ++stray_;
  return MemoryStream::read(dst, length, count);
}

uint32_t WatchedStream::seek(int32_t offset, int origin) {
  const uint32_t to = MemoryStream::seek(offset, origin);
  if (to > bytes_.size()) ++stray_;
  return to;
}
