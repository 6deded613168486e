// The product module as Windows loads it: its export table, its one static
// import from the host and its late-bound Windows functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

namespace {

class DllImage : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA("q7_kar_vezezoz.dll");
    ASSERT_NE(module_, nullptr) << "q7_kar_vezezoz.dll is not in the working folder";
    base_ = reinterpret_cast<const unsigned char*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
    nt_ = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base_ + dos->e_lfanew);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  template <class T>
  const T* at(DWORD rva) const {
    return reinterpret_cast<const T*>(base_ + rva);
  }
  const IMAGE_DATA_DIRECTORY& directory(int index) const {
    return nt_->OptionalHeader.DataDirectory[index];
  }

  HMODULE module_ = nullptr;
  const unsigned char* base_ = nullptr;
  const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

TEST_F(DllImage, ExportsTheThreeEntryPointsByNumberOnly) {
  EXPECT_EQ(nt_->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  // The size the build makes, said here rather than written down elsewhere.
  WIN32_FILE_ATTRIBUTE_DATA file{};
  ASSERT_TRUE(GetFileAttributesExA("q7_kar_vezezoz.dll", GetFileExInfoStandard, &file));
  std::printf("q7_kar_vezezoz.dll: %lu bytes\n", static_cast<unsigned long>(file.nFileSizeLow));
  RecordProperty("dll_bytes", static_cast<int>(file.nFileSizeLow));
  const auto* exports = at<IMAGE_EXPORT_DIRECTORY>(directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
  EXPECT_EQ(exports->NumberOfNames, 0u);
  EXPECT_EQ(exports->Base, 30001u);
  ASSERT_EQ(exports->NumberOfFunctions, 9u);  // 30001 to 30009, 30002 to 30007 empty
  const DWORD* functions = at<DWORD>(exports->AddressOfFunctions);
  std::set<DWORD> present;
  for (DWORD i = 0; i < exports->NumberOfFunctions; ++i)
    if (functions[i]) present.insert(exports->Base + i);
  EXPECT_EQ(present, (std::set<DWORD>{30001, 30008, 30009}));
  for (DWORD ordinal : present)
    EXPECT_NE(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)), nullptr);
}

TEST_F(DllImage, ImportsOnlyOrdinal30005FromTheHostAndNothingFromUser32) {
  std::set<std::string> modules;
  bool host_imported = false;
  for (const auto* d = at<IMAGE_IMPORT_DESCRIPTOR>(directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
       d->Name; ++d) {
    const std::string name = at<char>(d->Name);
    modules.insert(name);
    if (_stricmp(name.c_str(), "TORVAL.dll") != 0) continue;
    host_imported = true;
    const auto* thunk = at<IMAGE_THUNK_DATA32>(d->OriginalFirstThunk);
    ASSERT_NE(thunk->u1.Ordinal, 0u);
    EXPECT_TRUE(IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal));
    EXPECT_EQ(IMAGE_ORDINAL32(thunk->u1.Ordinal), 30005u);
    EXPECT_EQ(thunk[1].u1.Ordinal, 0u);
  }
  EXPECT_TRUE(host_imported);
  for (const auto& name : modules) EXPECT_NE(_stricmp(name.c_str(), "user32.dll"), 0) << name;
}

// A guest in the host's process: nothing of the plug-in runs at the host's
// thread attach and detach (no TLS directory, so no TLS callbacks, and the
// notifications turned off), it installs no process-wide handler of any
// kind, and it carries no unwinding tables that nothing would register.
TEST_F(DllImage, HasNoThreadLocalStorageAndNoProcessWideHandlers) {
  const IMAGE_DATA_DIRECTORY& tls = directory(IMAGE_DIRECTORY_ENTRY_TLS);
  EXPECT_EQ(tls.VirtualAddress, 0u);
  EXPECT_EQ(tls.Size, 0u);
  const auto* section = IMAGE_FIRST_SECTION(nt_);
  for (int s = 0; s < nt_->FileHeader.NumberOfSections; ++s, ++section) {
    const std::string name(reinterpret_cast<const char*>(section->Name),
                           strnlen(reinterpret_cast<const char*>(section->Name), IMAGE_SIZEOF_SHORT_NAME));
    EXPECT_NE(name.substr(0, 4), ".eh_") << name;
  }

  std::map<std::string, std::set<std::string>> imported;
  for (const auto* d = at<IMAGE_IMPORT_DESCRIPTOR>(directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
       d->Name; ++d) {
    std::string module = at<char>(d->Name);
    for (char& c : module) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto& names = imported[module];
    for (const auto* thunk = at<IMAGE_THUNK_DATA32>(d->OriginalFirstThunk); thunk->u1.AddressOfData; ++thunk)
      if (!IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal))
        names.insert(at<IMAGE_IMPORT_BY_NAME>(thunk->u1.AddressOfData)->Name);
  }
  std::set<std::string> modules;
  for (const auto& [module, names] : imported) modules.insert(module);
  EXPECT_EQ(modules, (std::set<std::string>{"kernel32.dll", "msvcrt.dll", "torval.dll"}));

  // Every function taken from kernel32 and from the C run-time, so that a
  // new one is seen and weighed: the plug-in's own (the calling thread, to
  // admit one at a time; whether a thread that was inside has ended, asked
  // only when a call would be refused; the room left on the stack before the
  // closing steps of an unwound call) and its delay-load helper's, the six
  // that write the spreadsheet file and put it in place,
  // and the C library's texts and memory. Nothing that makes a lock, takes
  // heap memory or registers a clean-up at exit, nothing that reads a
  // number by the locale: the plug-in formats and reads its numbers itself,
  // and nothing of it outlives its unload.
  EXPECT_EQ(imported["kernel32.dll"],
            (std::set<std::string>{"GetModuleHandleA", "GetModuleFileNameA", "GetProcAddress", "lstrcpyA",
                                   "LoadLibraryA", "FreeLibrary", "GetCurrentThreadId", "DisableThreadLibraryCalls",
                                   "OpenThread", "WaitForSingleObject", "GetLastError", "VirtualQuery",
                                   "CreateFileA", "WriteFile",
                                   "FlushFileBuffers", "CloseHandle", "MoveFileExA", "DeleteFileA"}));
  EXPECT_EQ(imported["msvcrt.dll"],
            (std::set<std::string>{"memchr", "memcpy", "memmove", "memset", "strchr", "strcmp", "strcspn",
                                   "strlen", "strncpy", "strrchr", "strspn", "strstr", "_fileno"}));
  for (const char* never : {"AddVectoredExceptionHandler", "SetUnhandledExceptionFilter",
                            "LoadLibraryW", "LoadLibraryExA", "LoadLibraryExW", "CreateThread",
                            "TlsAlloc", "TlsGetValue", "InitializeCriticalSection",
                            "EnterCriticalSection", "RaiseException", "malloc", "atexit", "_onexit", "atof", "strtod", "sscanf", "setlocale"})
    for (const auto& [module, names] : imported) EXPECT_EQ(names.count(never), 0u) << never;
}

// The module links no object of the toolchain's run-time libraries (the
// compiler's, whose division carries unwinding tables, and the C run-time's
// start-up and helpers), only members of the import libraries of the modules
// it imports from: what the compiler calls on its own is the plug-in's
// (plugin/platform/compiler_support.cpp). The link map says which archive
// members the linker took.
TEST(DllLink, TakesNothingFromArchivesButImportLibraries) {
  std::ifstream map("q7_kar_vezezoz.map");
  ASSERT_TRUE(map) << "no link map q7_kar_vezezoz.map in the working folder";
  std::set<std::string> archives;
  bool members = false;
  for (std::string line; std::getline(map, line);) {
    if (line.rfind("Archive member included", 0) == 0) {
      members = true;
    } else if (members && !line.empty() && line[0] != ' ' && line.find(".a(") != std::string::npos) {
      const std::string path = line.substr(0, line.find(".a(") + 2);
      archives.insert(path.substr(path.find_last_of('/') + 1));
    } else if (members && (line.rfind("Discarded input", 0) == 0 || line.rfind("Memory Configuration", 0) == 0)) {
      break;
    }
  }
  ASSERT_TRUE(members) << "the map lists no archive members";
  // objects.a: the plug-in's own objects, which the build links as an archive.
  const std::set<std::string> allowed{"objects.a", "libkernel32.a", "libmsvcrt.a", "libtorval_import.a",
                                      "libuser32_delayed.a"};
  for (const std::string& archive : archives) EXPECT_EQ(allowed.count(archive), 1u) << archive;
}

// The plug-in's 64-bit divisions, which this test program uses as the DLL
// does: quotient and remainder as their definition has them, each alone and
// both of the same operands, over divisors and dividends of every width and
// both signs.
template <class Integer>
[[gnu::noinline]] Integer quotient(Integer a, Integer b) { return a / b; }
template <class Integer>
[[gnu::noinline]] Integer remainder(Integer a, Integer b) { return a % b; }
template <class Integer>
[[gnu::noinline]] bool both_alike(Integer a, Integer b) { return a / b == quotient(a, b) && a % b == remainder(a, b); }

TEST(DllLink, DividesSixtyFourBitIntegersByItsOwnHelpers) {
  std::mt19937_64 random(7);
  const auto any_width = [&] { return random() >> (random() % 64); };
  const auto magnitude = [](int64_t n) { return n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n); };
  for (int i = 0; i < 100000; ++i) {
    const uint64_t u = i == 0 ? ~uint64_t{0} : any_width(), v = i == 0 ? 1 : any_width() | 1;
    const uint64_t q = quotient(u, v), r = remainder(u, v);
    uint64_t product, sum;
    ASSERT_TRUE(r < v && !__builtin_mul_overflow(q, v, &product) && !__builtin_add_overflow(product, r, &sum) &&
                sum == u && both_alike(u, v)) << u << " / " << v << " gave " << q << " remainder " << r;

    const int64_t a = static_cast<int64_t>(any_width() >> 1) * (random() % 2 ? 1 : -1);
    const int64_t b = static_cast<int64_t>(any_width() >> 1 | 1) * (random() % 2 ? 1 : -1);
    const int64_t sq = quotient(a, b), sr = remainder(a, b);
    int64_t sproduct, ssum;
    ASSERT_TRUE((sr == 0 || (sr < 0) == (a < 0)) && magnitude(sr) < magnitude(b) &&
                !__builtin_mul_overflow(sq, b, &sproduct) && !__builtin_add_overflow(sproduct, sr, &ssum) &&
                ssum == a && both_alike(a, b)) << a << " / " << b << " gave " << sq << " remainder " << sr;
  }
}

// GNU ld does not enter the delay-load descriptors in the image's data
// directory (Windows' loader never reads that entry; the delay-load helper is
// handed its descriptor directly), so the test finds the descriptor itself: 32
// bytes of relative addresses, attributes 1, then the module name.
TEST_F(DllImage, BindsMessageBoxAndWsprintfLateFromUser32) {
  const DWORD image_size = nt_->OptionalHeader.SizeOfImage;
  auto inside = [&](DWORD rva) { return rva > 0 && rva < image_size; };
  const DWORD* descriptor = nullptr;
  const auto* section = IMAGE_FIRST_SECTION(nt_);
  for (int s = 0; s < nt_->FileHeader.NumberOfSections && !descriptor; ++s, ++section) {
    const DWORD end = section->VirtualAddress + section->Misc.VirtualSize;
    for (DWORD rva = section->VirtualAddress; rva + 32 <= end && !descriptor; rva += 4) {
      const DWORD* d = at<DWORD>(rva);
      if (d[0] == 1 && inside(d[1]) && inside(d[4]) && _stricmp(at<char>(d[1]), "user32.dll") == 0)
        descriptor = d;
    }
  }
  ASSERT_NE(descriptor, nullptr) << "no delay-load descriptor of user32.dll";
  std::set<std::string> names;
  for (const auto* thunk = at<IMAGE_THUNK_DATA32>(descriptor[4]); thunk->u1.AddressOfData; ++thunk)
    names.insert(at<IMAGE_IMPORT_BY_NAME>(thunk->u1.AddressOfData)->Name);
  EXPECT_EQ(names, (std::set<std::string>{"MessageBoxA", "wsprintfA"}));
}

// The module as it ships: stripped, with its version resource. Its size is
// printed for whoever weighs a change.
TEST_F(DllImage, IsUnder96KilobytesWithItsVersionResource) {
  char path[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(module_, path, sizeof path), 0u);
  WIN32_FILE_ATTRIBUTE_DATA file{};
  ASSERT_TRUE(GetFileAttributesExA(path, GetFileExInfoStandard, &file));
  std::printf("q7_kar_vezezoz.dll: %lu bytes\n", static_cast<unsigned long>(file.nFileSizeLow));
  EXPECT_EQ(file.nFileSizeHigh, 0u);
  EXPECT_LT(file.nFileSizeLow, 96u * 1024u);
  EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);  // VS_VERSION_INFO, RT_VERSION
  EXPECT_EQ(directory(IMAGE_DIRECTORY_ENTRY_DEBUG).Size, 0u) << "not stripped";
}

}  // namespace
