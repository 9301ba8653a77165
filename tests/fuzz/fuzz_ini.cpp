// Hostile awards descriptions: the INI reader takes any bytes, as the awards screen reads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "screens/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pz::IniFile ini =
      pz::IniFile::FromText(std::string(reinterpret_cast<const char*>(data), size));
  const int count = ini.ReadInteger("COUNT", "COUNT", 0);
  for (int k = 1; k <= 3; ++k) {
    const std::string section = std::to_string(k);
    for (const char* key : {"TEXT1_E", "TEXT1_D", "GRAFIK", "DIRECTSHOWTEXTFILE_E", "TEXTFILE_D"}) {
      (void)ini.ReadString(section, key);
    }
    (void)ini.ReadInteger(section, "COUNT", count);
  }
  return 0;
}
