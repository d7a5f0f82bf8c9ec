#include <windows.h>
// after windows.h
#include <sddl.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "single_instance.h"
#include "win_text.h"

namespace {
[[noreturn]] void Fail(const std::string& what, DWORD error) {
  throw std::runtime_error("single-instance lock " + what + ": " +
                           rfid::win::SystemMessage(error));
}

std::string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    Fail("cannot read the process token", GetLastError());
  std::unique_ptr<void, decltype(&CloseHandle)> tokenGuard(token, &CloseHandle);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size ? size : 1);
  if (!GetTokenInformation(token, TokenUser, buffer.data(), DWORD(buffer.size()), &size))
    Fail("cannot read the user", GetLastError());
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
    Fail("cannot name the user", GetLastError());
  std::string sid = rfid::win::Utf8(text);
  LocalFree(text);
  return sid;
}
}  // namespace

// Local\ is the session's namespace: another user's session, or the same
// user's on another session, has its own copy.
std::string SingleInstance::DefaultLockPath() { return "Local\\rfid-console-" + UserSid(); }

void SingleInstance::SetRuntimeFolder() {}

SingleInstance::~SingleInstance() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool SingleInstance::Acquire() {
  if (handle_ != -1) return true;
  path_ = DefaultLockPath() + role_;
  // Creating and finding the mutex is one step in the kernel: no race.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, rfid::win::Wide(path_).c_str());
  const DWORD error = GetLastError();
  if (!mutex) {
    if (error == ERROR_ACCESS_DENIED) return false;  // exists, made by a copy we may not open
    Fail(path_, error);
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  return true;
}

// A named mutex takes no connections.
int SingleInstance::ConnectionSocket() const { return -1; }
void SingleInstance::AcceptPending() {}
