#include "ui/single_copy_win.h"

#include <memory>
#include <string>

#include "base/scoped_win.h"
#include "base/text_win.h"
#include "ui/single_copy.h"

#include <sddl.h>

namespace kestrion {

namespace {

constexpr UINT kAnswerTimeoutMs = 2000;

// The user's SID as text: "Local\" is the session's namespace, which another user started in
// the same session ("Run as") shares.
std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
  const UniqueHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) return L"";
  const auto buffer = std::make_unique<unsigned char[]>(size);
  if (!GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) return L"";
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
    return L"";
  }
  const LocalPtr<wchar_t> owned_text(text);
  return text;
}

class MutexCopy final : public SessionCopy {
 public:
  MutexCopy() : name_(L"Local\\" + Utf8ToWide(kAppId) + L"." + UserSid()) {}

  bool Claim() override {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name_.c_str());
    if (mutex == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      return false;
    }
    return true;  // held until the process ends
  }

  bool AskRunningCopy() override {
    for (HWND bar = FindWindowExW(nullptr, nullptr, L"TFormMain", nullptr); bar != nullptr;
         bar = FindWindowExW(nullptr, bar, L"TFormMain", nullptr)) {
      // The running copy may bring its bar to the front: this start was the user's doing.
      DWORD process = 0;
      GetWindowThreadProcessId(bar, &process);
      AllowSetForegroundWindow(process);
      DWORD_PTR answer = 0;
      if (SendMessageTimeoutW(bar, BringIntoViewMessage(), 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                              &answer) != 0 &&
          answer == static_cast<DWORD_PTR>(kCopyAnswer)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::wstring name_;
};

}  // namespace

UINT BringIntoViewMessage() {
  static const UINT message = RegisterWindowMessageW(L"example.kestrion.Kestrion.BringIntoView");
  return message;
}

bool ClaimSessionCopy() {
  MutexCopy copy;
  return TakeSessionCopy(
      copy, [] { Sleep(kSessionCopyPauseMs); }, kSessionCopyAttempts);
}

}  // namespace kestrion
