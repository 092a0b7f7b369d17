// The WebBrowser control's event arguments, as IDispatch::Invoke hands them over.
#include "browser/ie_events_win.h"

#include <gtest/gtest.h>

#include <array>

namespace vellum {
namespace {

// The seven arguments of BeforeNavigate2 in the order Invoke gives them:
// Cancel first, the URL (a variant by reference holding a string) sixth.
class BeforeNavigate2Args {
 public:
  explicit BeforeNavigate2Args(const wchar_t* url) {
    for (VARIANT& v : args_)
      VariantInit(&v);
    VariantInit(&url_);
    V_VT(&url_) = VT_BSTR;
    V_BSTR(&url_) = SysAllocString(url);
    V_VT(&args_[5]) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&args_[5]) = &url_;
    V_VT(&args_[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&args_[0]) = &cancel_;
    params_.rgvarg = args_.data();
    params_.cArgs = static_cast<UINT>(args_.size());
  }
  BeforeNavigate2Args(const BeforeNavigate2Args&) = delete;
  BeforeNavigate2Args& operator=(const BeforeNavigate2Args&) = delete;
  ~BeforeNavigate2Args() { VariantClear(&url_); }

  DISPPARAMS& Params() { return params_; }
  VARIANT& Arg(std::size_t i) { return args_[i]; }
  VARIANT_BOOL cancel_ = VARIANT_FALSE;

 private:
  std::array<VARIANT, 7> args_{};
  VARIANT url_{};
  DISPPARAMS params_{};
};

TEST(IeEvents, BeforeNavigate2GivesItsUrlAndTakesCancel) {
  BeforeNavigate2Args args(L"file:///C:/Program/web.htm/alpha.htm$BCVBET2:5");
  EXPECT_EQ(EventUrl(args.Params(), kDispidBeforeNavigate2),
            std::wstring(L"file:///C:/Program/web.htm/alpha.htm$BCVBET2:5"));
  ASSERT_TRUE(SetEventCancel(args.Params(), kDispidBeforeNavigate2, true));
  EXPECT_EQ(args.cancel_, VARIANT_TRUE);
  ASSERT_TRUE(SetEventCancel(args.Params(), kDispidBeforeNavigate2, false));
  EXPECT_EQ(args.cancel_, VARIANT_FALSE);
}

TEST(IeEvents, ArgumentsOfAnotherFormAreNotRead) {
  BeforeNavigate2Args args(L"about:blank");
  EXPECT_EQ(EventUrl(args.Params(), 999), std::nullopt) << "not an event we read";
  args.Params().cArgs = 6;
  EXPECT_EQ(EventUrl(args.Params(), kDispidBeforeNavigate2), std::nullopt);
  EXPECT_FALSE(SetEventCancel(args.Params(), kDispidBeforeNavigate2, true));
  args.Params().cArgs = 7;
  V_VT(&args.Arg(0)) = VT_I4;  // Cancel not a boolean by reference
  EXPECT_FALSE(SetEventCancel(args.Params(), kDispidBeforeNavigate2, true));
  V_VT(&args.Arg(5)) = VT_I4;  // URL not a string
  EXPECT_EQ(EventUrl(args.Params(), kDispidBeforeNavigate2), std::nullopt);
  DISPPARAMS empty{};
  EXPECT_EQ(EventUrl(empty, kDispidNavigateError), std::nullopt);
}

TEST(IeEvents, AnsiTextRoundTrips) {
  EXPECT_EQ(WideToAnsi(L"BET2:5"), "BET2:5");
  EXPECT_EQ(AnsiToWide("C:\\Program\\web.htm\\alpha.htm#TOC"),
            std::wstring(L"C:\\Program\\web.htm\\alpha.htm#TOC"));
  EXPECT_EQ(WideToAnsi(L""), "");
}

}  // namespace
}  // namespace vellum
