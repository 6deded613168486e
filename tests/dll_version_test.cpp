// The version information of the product module, as Windows' file
// properties read it: the numbers of the VERSION file, the product name and
// the Polish texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string version_file() {
  std::ifstream in(std::string(Q7_SOURCE_DIR) + "/VERSION");
  std::string version;
  std::getline(in, version);
  return version;
}

TEST(DllVersion, ResourceHoldsTheVersionAndThePolishTexts) {
  const wchar_t* dll = L"q7_kar_vezezoz.dll";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll, &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll, 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string version = version_file();
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, version);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041504B0\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars) || !value)
      return std::wstring(L"(none)");
    return std::wstring(value);
  };
  const std::wstring wide_version(version.begin(), version.end());
  EXPECT_EQ(text(L"ProductName"), L"Ogrody działkowe");
  EXPECT_EQ(text(L"FileVersion"), wide_version);
  EXPECT_EQ(text(L"ProductVersion"), wide_version);
  EXPECT_EQ(text(L"OriginalFilename"), L"q7_kar_vezezoz.dll");
  EXPECT_EQ(text(L"FileDescription").rfind(L"Wtyczka ogrodów działkowych", 0), 0u);
  EXPECT_EQ(text(L"LegalCopyright").rfind(L"Copyright © ", 0), 0u);
}

}  // namespace
