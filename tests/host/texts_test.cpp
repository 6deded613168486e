// The system's texts in the Mazovia code page and their conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "abi/mazovia.h"
#include "host/host.h"
#include "plugin/hostlink/module.h"

namespace q7 {
namespace {

TEST(Texts, DescriptionIs57MazoviaBytesAndTerminator) {
  EXPECT_EQ(sizeof plugin_description, 58u);
  EXPECT_EQ(std::strlen(plugin_description.data()), 57u);
  // "ł" of "działkowe" is the one byte 0x92.
  EXPECT_EQ(static_cast<unsigned char>(plugin_description[11]), 0x92);
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(copy_description(buffer), buffer);
  EXPECT_EQ(std::memcmp(buffer, plugin_description.data(), 58), 0);
  EXPECT_EQ(buffer[58], 'x');
}

TEST(Texts, EveryPolishLetterHasItsMazoviaByte) {
  constexpr auto& letters = mazovia<"ĄąĆćĘęŁłŃńÓóŚśŹźŻż">;
  const unsigned char expected[] = {0x8F, 0x86, 0x95, 0x8D, 0x90, 0x91, 0x9C, 0x92, 0xA5,
                                    0xA4, 0xA3, 0xA2, 0x98, 0x9E, 0xA0, 0xA6, 0xA1, 0xA7, 0};
  ASSERT_EQ(sizeof letters, sizeof expected);
  EXPECT_EQ(std::memcmp(letters.data(), expected, sizeof expected), 0);
}

TEST(Texts, MarkupBytesAndAsciiPassUnchanged) {
  constexpr auto& text = mazovia<"a\x01tl18\x01\x02Z\t\n~">;
  EXPECT_STREQ(text.data(), "a\x01tl18\x01\x02Z\t\n~");
}

TEST(Texts, TheHostShowsMazoviaAndWindowsTextsAlike) {
  EXPECT_EQ(torval::from_mazovia(MZ("POWAŻNY BŁĄD WTYCZKI")), "POWAŻNY BŁĄD WTYCZKI");
  EXPECT_EQ(torval::from_windows_1250("\xA3\xB9\x6B\x61 \x8C\x9C"), "Łąka Śś");
  EXPECT_EQ(torval::to_mazovia("Zażółć gęślą jaźń"), std::string(MZ("Zażółć gęślą jaźń")));
  EXPECT_EQ(torval::from_mazovia("\x01t\x02x\t"), "␁t␂x␉");
}

}  // namespace
}  // namespace q7
