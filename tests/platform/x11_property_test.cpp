// Decoding of what the X server returns, without a server: exact cases; any reply is fuzzed.
#include "platform/x11/xcb_property.h"
#include "platform/xres/client_process.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <optional>
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
}

// Each text type decoded, others rejected; a title cut by the read limit loses only the cut
// character; only the bytes that arrived are read.
TEST(TextPropertyTest, DecodesEachTextTypeAndOnlyTheBytesThatArrived) {
  EXPECT_EQ(decodeText(textReply(kAtoms.utf8String, "文档")), "文档");
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

}  // namespace
}  // namespace dozewick::xcb
