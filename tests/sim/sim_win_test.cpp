// Windows: the simulated tqr_32.dll through the program's own binding, its
// state under a wide path, the lock across handles, the replace while a
// reader has the old file open.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "frame.h"
#include "library_reader.h"
#include "sim_state.h"
#include "state_file.h"
#include "win_text.h"

namespace rfid::sim {
namespace {

std::filesystem::path ProgramFolder() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(std::wstring(self, n)).parent_path();
}

class SimWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // A folder name outside every ANSI code page's Latin range.
    m_Dir = std::filesystem::path(temp) / (L"tqr-sim-\uD64D\uAE38\uB3D9-" +
                                          std::to_wstring(GetCurrentProcessId()));
    std::filesystem::remove_all(m_Dir);
    m_State = win::Utf8((m_Dir / L"state").wstring());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"TQR_SIM_STATE", nullptr);
    std::error_code ec;
    std::filesystem::remove_all(m_Dir, ec);
  }
  std::filesystem::path m_Dir;
  std::string m_State;
};

TEST_F(SimWindows, LibraryWritesAndReadsBackThroughItsPlainNames) {
  SetEnvironmentVariableW(L"TQR_SIM_STATE", win::Wide(m_State).c_str());
  LibraryReader reader(win::Utf8((ProgramFolder() / L"tqr_32.dll").wstring()));
  EXPECT_NE(reader.DeviceFind(), 0);
  const std::u16string wrote =
      UpToNul(Exchange(reader, WithBcc(WriteBody(1, "0012345678AAAAAA"))).reply);
  EXPECT_TRUE(ReplyOk(wrote)) << std::string(wrote.begin(), wrote.end());
  const std::u16string read = UpToNul(Exchange(reader, WithBcc(ReadBody(1))).reply);
  ASSERT_TRUE(ReplyOk(read));
  const std::string block = StateStore(m_State).Load().card.Block(1);
  EXPECT_EQ(block.substr(0, 16), "0012345678AAAAAA");
  EXPECT_NE(std::string(read.begin(), read.end()).find(block), std::string::npos);

  HMODULE dll = GetModuleHandleW(L"tqr_32.dll");
  ASSERT_NE(dll, nullptr);
  for (const char* decorated : {"tqr_device_find@0", "_tqr_device_find@0",
                                "tqr_data_transceive_ex@8", "_tqr_data_transceive_ex@8"})
    EXPECT_EQ(GetProcAddress(dll, decorated), nullptr) << decorated;
}

TEST_F(SimWindows, StateLivesUnderLocalAppDataUnlessNamed) {
  SetEnvironmentVariableW(L"TQR_SIM_STATE", nullptr);
  const std::string local = win::Environment(L"LOCALAPPDATA");
  ASSERT_FALSE(local.empty());
  EXPECT_EQ(StatePath(), local + "\\rfid-console\\tqr-sim.state");
  SetEnvironmentVariableW(L"TQR_SIM_STATE", win::Wide(m_State).c_str());
  EXPECT_EQ(StatePath(), m_State);
}

TEST_F(SimWindows, AChangeWaitsForTheLockHolder) {
  StateStore store(m_State);
  store.Replace(DefaultState());
  std::atomic<bool> changed{false};
  std::thread other;
  {
    StateLock held(m_State);  // another handle: LockFileEx excludes it as it would another process
    other = std::thread([&] {
      store.Update([](State& s) { s.goodBeeps = 5; });
      changed = true;
    });
    Sleep(300);
    EXPECT_FALSE(changed);
  }
  other.join();
  EXPECT_TRUE(changed);
  EXPECT_EQ(store.Load().goodBeeps, 5);
}

TEST_F(SimWindows, ReplaceWaitsOutAReaderThatHasTheOldFileOpen) {
  StateStore store(m_State);
  store.Replace(DefaultState());
  // tqr-sim show reads without the lock; Windows refuses to replace a file
  // while it is open, so the writer tries again for a moment.
  HANDLE reader = CreateFileW(win::Wide(m_State).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::thread closer([reader] {
    Sleep(50);
    CloseHandle(reader);
  });
  store.Update([](State& s) { s.card.SetBlock(1, "0012345678AAAAAA2020202020202020"); });
  closer.join();
  EXPECT_EQ(store.Load().card.Block(1), "0012345678AAAAAA2020202020202020");
  EXPECT_FALSE(std::filesystem::exists(m_Dir / L"state.tmp"));
}

}  // namespace
}  // namespace rfid::sim
