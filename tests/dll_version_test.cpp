// The version information of the product module, as Windows' file
// properties read it: the four numbers of the VERSION file (those of the
// release's name), a resource of the Polish language and code page 1250,
// and its Polish texts.
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

TEST(DllVersion, ResourceHoldsTheReleaseNumberAndThePolishTexts) {
  const wchar_t* dll = L"q7_kar_vezezoz.dll";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll, &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll, 0, size, block.data()));

  // The resource itself is in Polish, as the file's properties list it.
  const HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(16) /* RT_VERSION */, MAKEINTRESOURCEW(1),
                            MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT)),
            nullptr);
  EXPECT_EQ(FindResourceExW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            nullptr);
  FreeLibrary(module);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string version = version_file();
  const std::string numbers =
      std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
      std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, version);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0415);  // Polish
  EXPECT_EQ(translation[1], 1250);    // Central European

  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041504E2\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars) || !value)
      return std::wstring(L"(none)");
    return std::wstring(value);
  };
  const std::wstring wide_version(version.begin(), version.end());
  EXPECT_EQ(text(L"ProductName"), L"Ogrody działkowe");
  EXPECT_EQ(text(L"CompanyName"), L"Autorzy wtyczki „Ogrody działkowe”");
  EXPECT_EQ(text(L"FileDescription"), L"Wtyczka ogrodów działkowych: opłaty działkowców i raport wpłat");
  EXPECT_EQ(text(L"FileVersion"), wide_version);
  EXPECT_EQ(text(L"ProductVersion"), wide_version);
  EXPECT_EQ(text(L"OriginalFilename"), L"q7_kar_vezezoz.dll");
  EXPECT_EQ(text(L"LegalCopyright"), L"© 2026 Autorzy wtyczki „Ogrody działkowe”. Wszelkie prawa zastrzeżone.");
}

}  // namespace
