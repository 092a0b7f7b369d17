#include "browser/ie_events_win.h"

namespace vellum {
namespace {

UINT ArgumentCount(DISPID event) {
  if (event == kDispidBeforeNavigate2) return kBeforeNavigate2Args;
  if (event == kDispidNavigateError) return kNavigateErrorArgs;
  return 0;
}

// The variant an argument stands for, following one reference.
const VARIANT* Deref(const VARIANT& argument) {
  if (V_VT(&argument) == (VT_VARIANT | VT_BYREF)) return V_VARIANTREF(&argument);
  return &argument;
}

}  // namespace

std::optional<std::wstring> EventUrl(const DISPPARAMS& params, DISPID event) {
  const UINT count = ArgumentCount(event);
  if (count == 0 || params.rgvarg == nullptr || params.cArgs != count) return std::nullopt;
  const VARIANT* url = Deref(params.rgvarg[count - 2]);
  if (url == nullptr) return std::nullopt;
  if (V_VT(url) == VT_BSTR) {
    const BSTR text = V_BSTR(url);
    return text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
  }
  if (V_VT(url) == (VT_BSTR | VT_BYREF) && V_BSTRREF(url) != nullptr) {
    const BSTR text = *V_BSTRREF(url);
    return text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
  }
  return std::nullopt;
}

bool SetEventCancel(const DISPPARAMS& params, DISPID event, bool cancel) {
  const UINT count = ArgumentCount(event);
  if (count == 0 || params.rgvarg == nullptr || params.cArgs != count) return false;
  VARIANT& argument = params.rgvarg[0];
  if (V_VT(&argument) != (VT_BOOL | VT_BYREF) || V_BOOLREF(&argument) == nullptr) return false;
  *V_BOOLREF(&argument) = cancel ? VARIANT_TRUE : VARIANT_FALSE;
  return true;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

}  // namespace vellum
