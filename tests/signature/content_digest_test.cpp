#include "signature/content_digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "test_support.h"

namespace {

std::string md5Hex(const Bytes& data) {
  Bytes out(kDigestLength);
  md5Digest(out.data(), data.data(), static_cast<uint32_t>(data.size()));
  return toHex(out);
}

std::string printableHex(const Bytes& data) {
  Bytes out(kDigestLength);
  digestPrintable(out.data(), data.data(), static_cast<uint32_t>(data.size()));
  return toHex(out);
}

std::string linesHex(const Bytes& data, const char* prefix) {
  Bytes out(kDigestLength);
  digestTextLines(out.data(), data.data(), static_cast<uint32_t>(data.size()), prefix);
  return toHex(out);
}

Bytes randomBytes(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(length);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// The line filter written out from its state table, gathering the kept bytes first: the
// streaming implementation must give the digest of exactly these bytes.
Bytes keptByLineFilter(const Bytes& data, const std::string& prefix) {
  Bytes kept;
  enum { LineStart, Skip, Keep } state = LineStart;
  for (size_t i = 0; i < data.size(); ++i) {
    const uint8_t b = data[i];
    const bool lineEnd = b == '\r' || b == '\n';
    if (state == LineStart) {
      const bool match = data.size() - i - 1 >= prefix.size() &&
                         std::equal(prefix.begin(), prefix.end(), data.begin() + i + 1);
      state = match ? Skip : Keep;
    } else if (state == Skip) {
      if (lineEnd) state = LineStart;
    } else {
      if (b >= 0x20 && b <= 0x7F) kept.push_back(b);
      if (lineEnd) state = LineStart;
    }
  }
  return kept;
}

Bytes printableOnly(const Bytes& data) {
  Bytes kept;
  for (uint8_t b : data) {
    if (b >= 0x20 && b <= 0x7F) kept.push_back(b);
  }
  return kept;
}

TEST(Md5DigestTest, Rfc1321TestSuite) {
  struct Case {
    int line;
    const char* input;
    const char* digest;
  };
  const Case cases[] = {
      {__LINE__, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {__LINE__, "a", "0cc175b9c0f1b6a831c399e269772661"},
      {__LINE__, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {__LINE__, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {__LINE__, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {__LINE__, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {__LINE__, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(md5Hex(bytesOf(c.input)), c.digest) << "row at line " << c.line;
  }
}

TEST(Md5DigestTest, EmptyInputNeedsNoData) {
  uint8_t out[kDigestLength];
  md5Digest(out, nullptr, 0);
  EXPECT_EQ(toHex(Bytes(out, out + kDigestLength)), "d41d8cd98f00b204e9800998ecf8427e");
  digestPrintable(out, nullptr, 0);
  EXPECT_EQ(toHex(Bytes(out, out + kDigestLength)), "d41d8cd98f00b204e9800998ecf8427e");
  digestTextLines(out, nullptr, 0, ";");
  EXPECT_EQ(toHex(Bytes(out, out + kDigestLength)), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(DigestPrintableTest, IgnoresLineEndsTabsAndEightBitBytes) {
  const std::string base = md5Hex(bytesOf("line one;line two"));
  EXPECT_EQ(printableHex(bytesOf("line one;line two")), base);
  EXPECT_EQ(printableHex(bytesOf("line one;\r\nline two\r\n")), base);
  EXPECT_EQ(printableHex(bytesOf("line one;\nline two\n")), base);
  EXPECT_EQ(printableHex(bytesOf("\tline one;\t\tline two\x01\x1f")), base);
  EXPECT_EQ(printableHex(bytesOf("line\x80 one;\xff\xe9line two\xa0")), base);
  EXPECT_NE(printableHex(bytesOf("line one;line twO")), base);
  EXPECT_NE(printableHex(bytesOf("line one; line two")), base);
}

TEST(DigestPrintableTest, DeleteEntersTheDigestAndByte0x80DoesNot) {
  EXPECT_EQ(printableHex(bytesOf("a\x7f"
                                 "b")),
            md5Hex(bytesOf("a\x7f"
                           "b")));
  EXPECT_EQ(printableHex(bytesOf("a\x80"
                                 "b")),
            md5Hex(bytesOf("ab")));
  EXPECT_EQ(linesHex(bytesOf("xa\x7f"
                             "b"),
                     ";"),
            md5Hex(bytesOf("a\x7f"
                           "b")));
  EXPECT_EQ(linesHex(bytesOf("xa\x80"
                             "b"),
                     ";"),
            md5Hex(bytesOf("ab")));
}

// The working buffer is far smaller than the content: the result must not depend on where the
// buffer fills up.
TEST(DigestPrintableTest, EqualsTheDigestOfThePrintableBytesAcrossBufferBoundaries) {
  for (size_t length : {1u, 8191u, 8192u, 8193u, 16385u, 100000u, 1u << 20}) {
    const Bytes data = randomBytes(length, static_cast<uint32_t>(length));
    EXPECT_EQ(printableHex(data), md5Hex(printableOnly(data))) << length << " bytes";
    EXPECT_EQ(linesHex(data, nullptr), printableHex(data)) << length << " bytes";
  }
}

TEST(DigestTextLinesTest, LineFilterRows) {
  struct Case {
    int line;
    std::string content;
    const char* prefix;
    std::string kept;
  };
  const Case cases[] = {
      // The three worked examples of the filter.
      {__LINE__, "ab\r\n;c\r\nde\r\n", ";", "bde"},
      {__LINE__, "ab\n;c\nde\n", ";", "bce"},
      {__LINE__, "x;y\r\n", ";", ""},
      // With CR LF, a prefixed line after the first is dropped whole; the first line is compared
      // from its second byte, and its first byte never counts.
      {__LINE__, ";comment\r\nkeep\r\n;drop\r\n", ";", "commentkeep"},
      {__LINE__, "#;x\r\nab", ";", "ab"},
      // A CR alone ends a line too; the byte after it is the consumed one, so the prefix is
      // compared from the second character.
      {__LINE__, "ab\r;c\rde", ";", "bce"},
      // A prefix of several characters, and one that only partly matches.
      {__LINE__, "x\r\nREM x\r\nREX y\r\n", "REM", "REX y"},
      // The comparison never looks past the end: a prefix longer than the rest never matches.
      {__LINE__, "a;", ";;", ";"},
      {__LINE__, "ab;", ";;", "b;"},
      {__LINE__, "\n;", ";", ""},
      // An empty prefix matches every line start.
      {__LINE__, "abc\r\ndef\r\n", "", ""},
      {__LINE__, "", ";", ""},
      // Tabs and 8-bit bytes inside kept lines are dropped like in digestPrintable.
      {__LINE__,
       "\na\tb\xe9"
       "c\n",
       ";", "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(linesHex(bytesOf(c.content), c.prefix), md5Hex(bytesOf(c.kept)))
        << "row at line " << c.line;
    EXPECT_EQ(bytesOf(c.kept), keptByLineFilter(bytesOf(c.content), c.prefix))
        << "reference filter, row at line " << c.line;
  }
}

TEST(DigestTextLinesTest, NoPrefixIsDigestPrintable) {
  for (uint32_t seed = 0; seed < 20; ++seed) {
    const Bytes data = randomBytes(1000 + seed * 37, seed);
    EXPECT_EQ(linesHex(data, nullptr), printableHex(data));
  }
}

// Text-like content with many short lines, several prefixes, sizes past the working buffer.
TEST(DigestTextLinesTest, StreamingMatchesTheWholeBufferFilter) {
  const char alphabet[] = ";;#ab \t\r\n\r\n\x80\xff";
  for (uint32_t seed = 0; seed < 12; ++seed) {
    std::mt19937 random(seed);
    Bytes data(30000 + seed * 1111);
    for (auto& b : data) b = static_cast<uint8_t>(alphabet[random() % (sizeof alphabet - 1)]);
    for (const char* prefix : {";", ";;", "#a", "", "\r"}) {
      EXPECT_EQ(linesHex(data, prefix), md5Hex(keptByLineFilter(data, prefix)))
          << "seed " << seed << " prefix '" << prefix << "'";
    }
  }
}

}  // namespace
