#include "ui/single_copy_win.h"

#include <functional>
#include <memory>
#include <string>

#include "base/scoped_win.h"
#include "base/text_win.h"
#include "ui/single_copy.h"

#include <sddl.h>

namespace kestrion {

namespace {

constexpr UINT kAnswerTimeoutMs = 2000;

// The user's SID as text.
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

// The claim lives in the session's own namespace: in the global one, a copy that the same user
// runs in another session (the console and Remote Desktop) would hold this session's claim too,
// and a start here would find no bar to ask and end.
class MutexCopy final : public SessionCopy {
 public:
  MutexCopy() : name_(L"Local\\" + SessionClaimName()) {}

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
    return AskBarIntoView([](DWORD process) { AllowSetForegroundWindow(process); });
  }

 private:
  std::wstring name_;
};

}  // namespace

UINT BringIntoViewMessage() {
  static const UINT message = RegisterWindowMessageW(L"example.kestrion.Kestrion.BringIntoView");
  return message;
}

std::wstring SessionClaimName() { return Utf8ToWide(kAppId) + L"." + UserSid(); }

bool AskBarIntoView(const std::function<void(DWORD process)>& allow_foreground) {
  for (HWND bar = FindWindowExW(nullptr, nullptr, L"TFormMain", nullptr); bar != nullptr;
       bar = FindWindowExW(nullptr, bar, L"TFormMain", nullptr)) {
    // The running copy may bring its bar to the front: this start was the user's doing.
    DWORD process = 0;
    GetWindowThreadProcessId(bar, &process);
    allow_foreground(process);
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(bar, BringIntoViewMessage(), 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                            &answer) != 0 &&
        answer == static_cast<DWORD_PTR>(kCopyAnswer)) {
      return true;
    }
  }
  return false;
}

bool ClaimSessionCopy() {
  MutexCopy copy;
  return TakeSessionCopy(
      copy, [] { Sleep(kSessionCopyPauseMs); }, kSessionCopyAttempts);
}

}  // namespace kestrion
