#include "host/win32_link.h"

#include <string>

namespace vellum::host {

HWND FindViewerWindow() {
  return FindWindowA(std::string(kViewerClass).c_str(), std::string(kViewerTitle).c_str());
}

HWND FindHostWindow() {
  return FindWindowA(std::string(kHostClass).c_str(), nullptr);
}

SendStatus SendCopyData(HWND target, HWND sender, std::uint32_t code, std::string_view payload,
                        UINT timeout_ms) {
  if (target == nullptr || !IsWindow(target)) return SendStatus::kFailed;
  // SendMessage copies the data into the receiver; it is never written to.
  COPYDATASTRUCT data{};
  data.dwData = code;
  data.cbData = static_cast<DWORD>(payload.size());
  data.lpData = payload.empty() ? nullptr : const_cast<char*>(payload.data());
  DWORD_PTR result = 0;
  SetLastError(ERROR_SUCCESS);
  if (SendMessageTimeoutA(target, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                          reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeout_ms, &result) != 0) {
    return SendStatus::kTaken;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_TIMEOUT) return SendStatus::kTimedOut;
  if (error == ERROR_ACCESS_DENIED) return SendStatus::kRefused;
  return SendStatus::kFailed;
}

bool AcceptCopyDataFromAnyProcess(HWND window) {
  // User Interface Privilege Isolation drops messages from processes of a
  // lower integrity level unless the window lets them in; WM_COPYDATA is
  // copied by the system and read with care, so it is safe to accept.
  return ChangeWindowMessageFilterEx(window, WM_COPYDATA, MSGFLT_ALLOW, nullptr) != FALSE;
}

Message ReadCopyData(WPARAM wparam, LPARAM lparam) {
  Message message;
  message.sender = static_cast<std::uint32_t>(wparam & 0xFFFFFFFFu);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  if (data == nullptr) return message;
  message.code = static_cast<std::uint32_t>(data->dwData);
  if (data->lpData != nullptr && data->cbData > 0) {
    message.payload.assign(static_cast<const char*>(data->lpData), data->cbData);
  }
  return message;
}

}  // namespace vellum::host
