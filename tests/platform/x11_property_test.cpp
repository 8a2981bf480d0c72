// Decoding of what the X server returns, without a server: exact cases, then random replies.
#include "platform/x11/xcb_property.h"
#include "platform/xres/client_process.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QString>
#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

namespace dozewick::xcb {
namespace {

using xres::localClientPid;

Atoms testAtoms() {
  Atoms atoms;
  std::uint32_t next = 300;
  for (const AtomName& name : kAtomNames) {
    atoms.*(name.member) = next++;
  }
  return atoms;
}

const Atoms kAtoms = testAtoms();

void put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

// A GetProperty reply as the wire has it: header fields as given, `data` after the header.
std::vector<std::uint8_t> reply(std::uint32_t type, std::uint8_t format, std::uint32_t count,
                                const std::vector<std::uint8_t>& data,
                                std::uint32_t bytesAfter = 0) {
  std::vector<std::uint8_t> bytes(32 + data.size());
  bytes[0] = 1;
  bytes[1] = format;
  put32(bytes, 4, static_cast<std::uint32_t>(data.size() / 4));
  put32(bytes, 8, type);
  put32(bytes, 12, bytesAfter);
  put32(bytes, 16, count);
  std::copy(data.begin(), data.end(), bytes.begin() + 32);
  return bytes;
}

std::vector<std::uint8_t> text(std::string_view value) {
  std::vector<std::uint8_t> bytes(value.begin(), value.end());
  bytes.resize((bytes.size() + 3) / 4 * 4);  // replies come in whole 32-bit units
  return bytes;
}

std::vector<std::uint8_t> textReply(std::uint32_t type, std::string_view value,
                                    std::uint32_t bytesAfter = 0) {
  return reply(type, 8, static_cast<std::uint32_t>(value.size()), text(value), bytesAfter);
}

std::vector<std::uint8_t> cardinals(std::initializer_list<std::uint32_t> values) {
  std::vector<std::uint8_t> bytes(values.size() * 4);
  std::size_t offset = 0;
  for (const std::uint32_t value : values) {
    put32(bytes, offset, value);
    offset += 4;
  }
  return bytes;
}

std::optional<std::string> decodeText(const std::vector<std::uint8_t>& bytes) {
  return textValue(propertyValue(bytes), kAtoms);
}

// Checked by Qt's decoder, independently of the one under test: what is not valid UTF-8 does not
// come back the same.
bool isValidUtf8(const std::string& value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())).toStdString() ==
         value;
}

TEST(Utf8LossyTest, KeepsValidTextAndReplacesEachIllFormedPart) {
  EXPECT_EQ(utf8Lossy("plain ascii"), "plain ascii");
  EXPECT_EQ(utf8Lossy("菜单栏 🚀 é"), "菜单栏 🚀 é");
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(utf8Lossy("a\xFF"
                      "b"),
            "a" + r + "b");
  EXPECT_EQ(utf8Lossy("\xC0\xAF"), r + r);                  // overlong
  EXPECT_EQ(utf8Lossy("\xED\xA0\x80"), r + r + r);          // surrogate
  EXPECT_EQ(utf8Lossy("\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
  EXPECT_EQ(utf8Lossy("\xE6\x96"), r);                      // cut short: one maximal part
  EXPECT_EQ(utf8Lossy("\xE6\x96x"), r + "x");
  EXPECT_EQ(latin1ToUtf8("Caf\xE9"), "Café");
  for (const char* invalid : {"\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80", "\xE6\x96"})
    EXPECT_FALSE(isValidUtf8(invalid)) << "the fuzz tests' check itself";
}

// Each text type decoded, others rejected; a title cut by the read limit loses only the cut
// character; only the bytes that arrived are read.
TEST(TextPropertyTest, DecodesEachTextTypeAndOnlyTheBytesThatArrived) {
  EXPECT_EQ(decodeText(textReply(kAtoms.utf8String, "文档")), "文档");
  EXPECT_EQ(decodeText(textReply(XCB_ATOM_STRING, "Caf\xE9")), "Café");
  EXPECT_EQ(decodeText(textReply(XCB_ATOM_STRING, "Café")), "Café");  // UTF-8 stored as STRING
  EXPECT_EQ(decodeText(textReply(kAtoms.compoundText, "Caf\xE9")), "Café");
  EXPECT_EQ(decodeText(textReply(kAtoms.compoundText, "a\x1B$(Bxx\xB0\xA1z")), "axx\xEF\xBF\xBDz");
  EXPECT_EQ(decodeText(textReply(kAtoms.utf8String, "cut\0after", 0)), "cut");
  EXPECT_EQ(decodeText(textReply(kAtoms.utf8String, "")), "");
  EXPECT_FALSE(decodeText(textReply(XCB_ATOM_CARDINAL, "text")));
  EXPECT_FALSE(decodeText(reply(kAtoms.utf8String, 32, 1, text("abcd"))));
  EXPECT_FALSE(decodeText(reply(XCB_NONE, 0, 0, {})));

  // "ab文" with the last character cut after its first two bytes.
  const std::string cut = "ab\xE6\x96";
  EXPECT_EQ(decodeText(textReply(kAtoms.utf8String, cut, 100)), "ab");
  EXPECT_EQ(decodeText(textReply(kAtoms.utf8String, cut, 0)), "ab\xEF\xBF\xBD");

  // The header claims 1000 bytes; 8 arrived.
  const auto bytes = reply(kAtoms.utf8String, 8, 1000, text("12345678"));
  const auto value = propertyValue(bytes);
  EXPECT_EQ(value.bytes.size(), 8u);
  EXPECT_TRUE(value.truncated);
  EXPECT_EQ(textValue(value, kAtoms), "12345678");
  EXPECT_EQ(propertyValue(std::vector<std::uint8_t>(31, 0)).type, 0u);
}

// The class part of WM_CLASS; exactly one CARDINAL of the right type and format; iconic from
// WM_STATE.
TEST(ValueTest, ClassCardinalAndIconicState) {
  const auto decode = [](std::string_view value) {
    return wmClassName(propertyValue(textReply(XCB_ATOM_STRING, value)), kAtoms);
  };
  EXPECT_EQ(decode(std::string_view("editor\0Editor\0", 14)), "Editor");
  EXPECT_EQ(decode(std::string_view("editor\0Editor", 13)), "Editor");
  EXPECT_EQ(decode(std::string_view("editor\0Caf\xE9\0", 11)), "Café");
  EXPECT_FALSE(decode("no separator"));
  EXPECT_FALSE(decode(std::string_view("instance\0\0", 10)));
  EXPECT_FALSE(wmClassName(propertyValue(reply(XCB_ATOM_STRING, 32, 1, text("a\0b\0"))), kAtoms));

  // The first value of the right type and format, whatever follows it: some window managers
  // store more than the one value asked for (xfwm4: active window, 0).
  const struct {
    std::uint32_t type;
    std::uint8_t format;
    std::uint32_t count;
    std::vector<std::uint8_t> data;
    std::uint32_t bytesAfter;
    std::optional<std::uint32_t> first;
  } cardinalCases[] = {
      {XCB_ATOM_CARDINAL, 32, 1, cardinals({42}), 0, 42u},
      {XCB_ATOM_CARDINAL, 32, 2, cardinals({4, 2}), 0, 4u},
      {XCB_ATOM_CARDINAL, 32, 1, cardinals({42}), 4, 42u},
      {XCB_ATOM_CARDINAL, 32, 0, {}, 0, std::nullopt},
      {XCB_ATOM_STRING, 32, 1, cardinals({42}), 0, std::nullopt},
      {XCB_ATOM_CARDINAL, 16, 2, cardinals({42}), 0, std::nullopt},
  };
  for (const auto& c : cardinalCases) {
    EXPECT_EQ(firstCard32(propertyValue(reply(c.type, c.format, c.count, c.data, c.bytesAfter)),
                          XCB_ATOM_CARDINAL),
              c.first)
        << c.type << " " << int(c.format) << " " << c.count;
  }
  EXPECT_EQ(card32List(propertyValue(reply(XCB_ATOM_WINDOW, 32, 3, cardinals({1, 2, 3}))),
                       XCB_ATOM_WINDOW),
            (std::vector<std::uint32_t>{1, 2, 3}));

  const auto state = [](std::uint32_t type, std::initializer_list<std::uint32_t> values) {
    return wmStateIconic(propertyValue(reply(type, 32, static_cast<std::uint32_t>(values.size()),
                                             cardinals(values))),
                         kAtoms);
  };
  EXPECT_EQ(state(kAtoms.wmState, {3, 0}), true);
  EXPECT_EQ(state(kAtoms.wmState, {1, 0}), false);
  EXPECT_FALSE(state(kAtoms.wmState, {3}));
  EXPECT_FALSE(state(XCB_ATOM_CARDINAL, {3, 0}));
}

// A QueryClientIds reply: each id as (mask, values).
std::vector<std::uint8_t> clientIds(
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> ids) {
  std::vector<std::uint8_t> bytes(32);
  put32(bytes, 8, static_cast<std::uint32_t>(ids.size()));
  for (const auto& [mask, values] : ids) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 12 + values.size() * 4);
    put32(bytes, at, 0x400000);
    put32(bytes, at + 4, mask);
    put32(bytes, at + 8, static_cast<std::uint32_t>(values.size() * 4));
    for (std::size_t i = 0; i < values.size(); ++i) {
      put32(bytes, at + 12 + i * 4, values[i]);
    }
  }
  put32(bytes, 4, static_cast<std::uint32_t>((bytes.size() - 32) / 4));
  return bytes;
}

TEST(ClientIdTest, FindsTheLocalProcessId) {
  EXPECT_EQ(localClientPid(clientIds({{1, {}}, {2, {4242}}})), 4242);
  EXPECT_FALSE(localClientPid(clientIds({{1, {}}})));
  EXPECT_FALSE(localClientPid(clientIds({{2, {}}})));  // not a local client
  EXPECT_FALSE(localClientPid(clientIds({{2, {0}}})));
  EXPECT_FALSE(localClientPid(clientIds({{2, {0x80000000u}}})));
  auto lying = clientIds({{2, {4242}}});
  put32(lying, 8, 1000);  // claims more ids than arrived
  EXPECT_EQ(localClientPid(lying), 4242);
  put32(lying, 32 + 8, 4000);  // a value longer than the reply
  EXPECT_FALSE(localClientPid(lying));
}

// Random replies of random type, format and length, also read as text. Each buffer is exactly as
// long as it is, so that the sanitizers catch any read beyond it.
TEST(PropertyFuzzTest, RandomRepliesNeverReadOutOfBoundsAndDecodeConsistently) {
  std::mt19937 random(20240607);
  const std::uint32_t types[] = {
      XCB_NONE,      XCB_ATOM_STRING,   XCB_ATOM_CARDINAL,   XCB_ATOM_WINDOW,
      XCB_ATOM_ATOM, kAtoms.utf8String, kAtoms.compoundText, kAtoms.wmState,
      12345};
  const std::uint8_t formats[] = {0, 8, 16, 32, 7, 255};
  for (int round = 0; round < 50000; ++round) {
    const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 96)(random);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
      byte = static_cast<std::uint8_t>(random());
    }
    if (size >= 32 && random() % 4 != 0) {
      bytes[1] = formats[random() % std::size(formats)];
      put32(bytes, 8, types[random() % std::size(types)]);
      put32(bytes, 12, random() % 3 == 0 ? static_cast<std::uint32_t>(random()) : 0);
      const std::uint32_t count = random() % 3 == 0
                                      ? static_cast<std::uint32_t>(random())
                                      : static_cast<std::uint32_t>(random() % (size - 31 + 4));
      put32(bytes, 16, count);
    }
    const PropertyValue value = propertyValue(bytes);
    if (!value.bytes.empty()) {
      ASSERT_GE(value.bytes.data(), bytes.data() + 32);
      ASSERT_LE(value.bytes.data() + value.bytes.size(), bytes.data() + bytes.size());
      ASSERT_EQ(value.bytes.size() % (value.format / 8), 0u);
    }
    if (const auto title = textValue(value, kAtoms)) {
      ASSERT_EQ(value.format, 8);
      ASSERT_TRUE(isValidUtf8(*title));
    }
    if (const auto name = wmClassName(value, kAtoms)) {
      ASSERT_FALSE(name->empty());
      ASSERT_TRUE(isValidUtf8(*name));
    }
    if (firstCard32(value, XCB_ATOM_CARDINAL)) {
      ASSERT_EQ(value.type, XCB_ATOM_CARDINAL);
      ASSERT_GE(value.bytes.size(), 4u);
    }
    if (const auto list = card32List(value, XCB_ATOM_ATOM)) {
      ASSERT_EQ(list->size(), value.bytes.size() / 4);
      windowType(list, kAtoms);
    }
    wmStateIconic(value, kAtoms);
    const std::string raw(bytes.begin(), bytes.end());
    ASSERT_TRUE(isValidUtf8(utf8Lossy(raw)) && isValidUtf8(latin1ToUtf8(raw)));
    if (const auto pid = localClientPid(bytes)) {
      ASSERT_GT(*pid, 0);
    }
  }
}

}  // namespace
}  // namespace dozewick::xcb
