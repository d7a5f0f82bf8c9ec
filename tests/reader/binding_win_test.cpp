// Windows: the reader library bound with LoadLibraryW and GetProcAddress, its
// __stdcall calls made through the plain names, and texts in the system's
// ANSI code page (run once under code page 1252 and once under 949).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "library_reader.h"
#include "win_text.h"

namespace rfid {
namespace {

std::string TestLib(const char* name) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path dir = std::filesystem::path(std::wstring(self, n)).parent_path();
  return win::Utf8((dir / L"test-libs" / name).wstring());
}

TEST(WindowsBinding, LibraryIsBoundByItsPlainNamesAndCalledStdcall) {
  LibraryReader reader(TestLib("libtqr_echo.dll"));
  EXPECT_EQ(reader.DeviceFind(), 7);
  // A caller that cleaned the stack the wrong way would not survive a loop.
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(UpToNul(Exchange(reader, "4301").reply), u"414301");
}

TEST(WindowsBinding, FailuresNameTheLibraryAndTheSystemsReason) {
  const struct {
    const char* library;
    std::vector<std::string> expected;
  } cases[] = {
      {"libtqr_missing.dll", {"libtqr_missing.dll could not be loaded from ", "(error 126)"}},
      {"libtqr_no_find.dll", {"has no entry point tqr_device_find: ", "(error 127)"}},
      {"libtqr_no_transceive.dll", {"has no entry point tqr_data_transceive_ex: ", "(error 127)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.library);
    LibraryReader reader(TestLib(c.library));
    try {
      reader.DeviceFind();
      reader.DataTransceiveEx("4301", std::vector<char>(41).data());
      FAIL() << "bound";
    } catch (const ReaderLibraryError& e) {
      for (const auto& part : c.expected) EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
    EXPECT_FALSE(reader.Bound());
  }
}

// A plain name comes from the program's folder (or the system folder), never
// from the current folder or PATH, where anyone may plant a library; the
// legacy window's ".\\" name from the current folder only.
TEST(WindowsBinding, PlantedLibrariesAreNeverLoaded) {
  namespace fs = std::filesystem;
  RestrictLibrarySearch();
  const fs::path echo = fs::path(win::Wide(TestLib("libtqr_echo.dll")));
  const fs::path broken = echo.parent_path() / "libtqr_needs_another.dll";
  const fs::path program = echo.parent_path().parent_path();
  wchar_t systemDir[MAX_PATH];
  const fs::path system(std::wstring(systemDir, GetSystemDirectoryW(systemDir, MAX_PATH)));
  const fs::path temp = fs::temp_directory_path() / ("rfid-plant-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(temp / "cwd");
  fs::create_directories(temp / "path");
  fs::copy_file(echo, temp / "path" / "tqr_plant.dll", fs::copy_options::overwrite_existing);
  const fs::path cwd = fs::current_path();
  const std::string path = win::Environment(L"PATH");
  fs::current_path(temp / "cwd");
  SetEnvironmentVariableW(L"PATH", (temp / "path").wstring().append(L";").append(win::Wide(path)).c_str());
  const fs::path none;
  const struct {
    const char* name;
    const fs::path &inCurrent, &inProgram, &inSystem;
    bool loads;
  } cases[] = {
      {"tqr_plant.dll", echo, none, none, false},
      {"tqr_plant.dll", echo, echo, none, true},
      {".\\tqr_plant.dll", echo, none, none, true},
      {".\\tqr_plant.dll", none, echo, none, false},
      {"tqr_plant.dll", none, none, echo, true},
      {"tqr_plant.dll", none, broken, echo, false},  // no stale copy for one that will not load
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    for (const auto& [copy, folder] : {std::pair{&c.inCurrent, temp / "cwd"}, std::pair{&c.inProgram, program},
                                       std::pair{&c.inSystem, system}}) {
      if (!copy->empty()) fs::copy_file(*copy, folder / "tqr_plant.dll", fs::copy_options::overwrite_existing);
      else fs::remove(folder / "tqr_plant.dll");
    }
    LibraryReader reader(c.name);
    if (c.loads) {
      EXPECT_EQ(reader.DeviceFind(), 7);
    } else {
      EXPECT_THROW(reader.DeviceFind(), ReaderLibraryError);
    }
  }
  std::error_code kept;  // Wine may keep a DLL that failed to load mapped
  for (const fs::path& folder : {program, system}) fs::remove(folder / "tqr_plant.dll", kept);
  fs::current_path(cwd);
  SetEnvironmentVariableW(L"PATH", win::Wide(path).c_str());
  fs::remove_all(temp);
}

TEST(WindowsBinding, ConsoleSearchesAndLegacyTakesTheCurrentDirectory) {
  EXPECT_EQ(LibraryFileName("tqr_32"), "tqr_32.dll");
  EXPECT_EQ(LibraryFileName("tqr_32", true), ".\\tqr_32.dll");
}

TEST(AnsiCodePage, TextsFollowTheSystemsCodePage) {
  // In every code page: ASCII stays, NUL stays, no surrogate pair is single-byte.
  EXPECT_EQ(EncodeSingleByte(u"57010000012345AAAAAA"), "57010000012345AAAAAA");
  EXPECT_EQ(EncodeSingleByte(u"\U0001F600"), std::nullopt);
  EXPECT_EQ(DecodeLocal8Bit("41\0" "7", 4), std::u16string(u"41\0" "7", 4));

  const struct {
    UINT codePage;
    std::u16string text;
    std::optional<std::string> encoded;  // nullopt: refused
    std::string bytes;
    std::u16string decoded;
  } cases[] = {
      {1252, u"\u00E9", "\xE9", "\xE9" "41", u"\u00E9" "41"},
      {1252, u"\uD64D", std::nullopt, "\x80", u"\u20AC"},
      // Korean is two bytes a character: never single-byte, read back whole.
      {949, u"\uD64D", std::nullopt, "\xC8\xAB" "41", u"\uD64D" "41"},
      {949, u"\u00E9", std::nullopt, "\xB1\xE6\xB5\xBF", u"\uAE38\uB3D9"},
      // A lead byte cut off by the end of the reply does not swallow the NUL.
      {949, u"A", "A", std::string("\xC8\0" "4", 3), std::u16string(u"\uFFFD\0" "4", 3)},
  };
  const UINT acp = GetACP();
  std::printf("ANSI code page %u\n", acp);  // the code page the run is under
  int ran = 0;
  for (const auto& c : cases) {
    if (c.codePage != acp) continue;
    ++ran;
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(EncodeSingleByte(c.text), c.encoded);
    EXPECT_EQ(DecodeLocal8Bit(c.bytes.data(), c.bytes.size()), c.decoded);
  }
  if (!ran) GTEST_SKIP() << "no cases for code page " << acp;
}

}  // namespace
}  // namespace rfid
