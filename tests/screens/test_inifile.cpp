#include <gtest/gtest.h>

#include "screens/inifile.h"

using pz::IniFile;

TEST(IniFile, SectionsAndKeysIgnoreCase) {
  const IniFile ini = IniFile::FromText(
      "; comment\r\n# another\r\n[Count]\r\n count = 3 \r\n[1]\r\nText1_E=Hello = world\r\n"
      "TEXT1_E=second wins not\r\n[ 2 ]\nGRAFIK=\n");
  EXPECT_TRUE(ini.Loaded());
  EXPECT_EQ(ini.ReadInteger("COUNT", "COUNT", 0), 3);
  EXPECT_EQ(ini.ReadString("1", "text1_e"), "Hello = world");
  EXPECT_EQ(ini.ReadString("2", "GRAFIK", "x"), "");
  EXPECT_EQ(ini.ReadString("3", "GRAFIK", "fallback"), "fallback");
  EXPECT_EQ(ini.ReadString("1", "missing", "fb"), "fb");
}

TEST(IniFile, IntegersAreStrict) {
  const IniFile ini =
      IniFile::FromText("[n]\na=12\nb=-4\nc=+7\nd=12x\ne=\nf=99999999999\ng= 5\nh=+\n");
  EXPECT_EQ(ini.ReadInteger("n", "a", 0), 12);
  EXPECT_EQ(ini.ReadInteger("n", "b", 0), -4);
  EXPECT_EQ(ini.ReadInteger("n", "c", 0), 7);
  EXPECT_EQ(ini.ReadInteger("n", "d", -1), -1);
  EXPECT_EQ(ini.ReadInteger("n", "e", -1), -1);
  EXPECT_EQ(ini.ReadInteger("n", "f", -1), -1);
  EXPECT_EQ(ini.ReadInteger("n", "g", -1), 5);  // values are trimmed
  EXPECT_EQ(ini.ReadInteger("n", "h", -1), -1);
}

TEST(IniFile, EightBitTextAndBrokenLines) {
  const IniFile ini = IniFile::FromText(
      "[1]\nTEXT1_D=Gr\xFC\xDF"
      "e\n=novalue\nnokey\n[unclosed\nk=v");
  EXPECT_EQ(ini.ReadString("1", "TEXT1_D"), "Grüße");
  EXPECT_EQ(ini.ReadString("unclosed", "k"), "v");
  EXPECT_FALSE(IniFile("/nonexistent/info.ini").Loaded());
}
