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
  return GetLastError() == ERROR_TIMEOUT ? SendStatus::kTimedOut : SendStatus::kFailed;
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
