// The WebBrowser control's event arguments, as IDispatch::Invoke hands them over.
#include "browser/ie_events_win.h"
#include "tests/browser/event_args.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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

TEST(IeEvents, EveryReadEventGivesItsUrlFrameAndCancel) {
  Frame frame;
  const struct {
    DISPID event;
    bool has_frame;
    bool has_cancel;
  } cases[] = {
      {kDispidBeforeNavigate2, true, true},   {kDispidNavigateComplete2, true, false},
      {kDispidDocumentComplete, true, false}, {kDispidNavigateError, true, true},
      {kDispidNewWindow3, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.event);
    EXPECT_TRUE(IsReadEvent(c.event));
    EventArgs args(c.event, &frame, L"file:///C:/web.htm/alpha.htm$BCVALP3:16");
    EXPECT_EQ(EventUrl(args.params, c.event),
              std::wstring(L"file:///C:/web.htm/alpha.htm$BCVALP3:16"));
    EXPECT_EQ(EventFrame(args.params, c.event), c.has_frame ? &frame : nullptr);
    EXPECT_EQ(SetEventCancel(args.params, c.event, true), c.has_cancel);
    EXPECT_EQ(args.cancel, c.has_cancel ? VARIANT_TRUE : VARIANT_FALSE);
    // One argument fewer: nothing is read or written.
    args.params.cArgs -= 1;
    args.cancel = VARIANT_FALSE;
    EXPECT_EQ(EventUrl(args.params, c.event), std::nullopt);
    EXPECT_EQ(EventFrame(args.params, c.event), nullptr);
    EXPECT_FALSE(SetEventCancel(args.params, c.event, true));
    EXPECT_EQ(args.cancel, VARIANT_FALSE);
  }
  for (DISPID other : {102, 104, 105, 106, 108, 112, 113, 251, 0, -709})
    EXPECT_FALSE(IsReadEvent(other)) << other;
}

TEST(IeEvents, AFrameByReferenceIsFollowedAndIdentityDecidesTheTopFrame) {
  Frame top;
  Frame inner;
  EventArgs args(kDispidDocumentComplete, nullptr, L"about:blank");
  IDispatch* by_reference = &top;
  V_VT(&args.args[1]) = VT_DISPATCH | VT_BYREF;
  V_DISPATCHREF(&args.args[1]) = &by_reference;
  EXPECT_EQ(EventFrame(args.params, kDispidDocumentComplete), &top);
  EXPECT_TRUE(SameObject(&top, EventFrame(args.params, kDispidDocumentComplete)));
  EXPECT_FALSE(SameObject(&inner, &top));
  EXPECT_FALSE(SameObject(nullptr, &top));
  V_VT(&args.args[1]) = VT_I4;
  EXPECT_EQ(EventFrame(args.params, kDispidDocumentComplete), nullptr);
}

TEST(IeEvents, AmbientPropertiesAreAnsweredAsTheContractSays) {
  // User mode TRUE (FALSE would be design mode: editable pages, dead links),
  // silent TRUE, download control without Java, ActiveX, behaviours or timed
  // redirects; any other id is a member the site does not have.
  const struct {
    DISPID id;
    HRESULT hr;
    VARTYPE type;
    LONG value;
  } cases[] = {
      {-709, S_OK, VT_BOOL, VARIANT_TRUE},          // DISPID_AMBIENT_USERMODE
      {-5502, S_OK, VT_BOOL, VARIANT_TRUE},         // DISPID_AMBIENT_SILENT
      {-5512, S_OK, VT_I4, 0},                      // DISPID_AMBIENT_DLCONTROL
      {-701, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0},   // back colour
      {-710, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0},   // UI dead
      {-5501, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0},  // offline
      {12345, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(AnswerAmbient(c.id, &result), c.hr);
    EXPECT_EQ(V_VT(&result), c.type);
    if (c.type == VT_BOOL) {
      EXPECT_EQ(V_BOOL(&result), c.value);
    }
    if (c.type == VT_I4) {
      EXPECT_EQ(V_I4(&result), AmbientDownloadControl());
    }
    if (c.hr == S_OK) {
      EXPECT_EQ(AnswerAmbient(c.id, nullptr), E_POINTER);
    }
  }
  const LONG flags = AmbientDownloadControl();
  EXPECT_NE(flags & 0x10, 0) << "images load";
  for (LONG off : {0x100L, 0x200L, 0x400L, 0x8000L, 0x20000000L, 0x40000000L})
    EXPECT_NE(flags & off, 0) << std::hex << off;
  EXPECT_EQ(flags & 0x80L, 0) << "page scripts stay allowed";
}

TEST(IeEvents, AnsiTextRoundTrips) {
  EXPECT_EQ(WideToAnsi(L"BET2:5"), "BET2:5");
  EXPECT_EQ(AnsiToWide("C:\\Program\\web.htm\\alpha.htm#TOC"),
            std::wstring(L"C:\\Program\\web.htm\\alpha.htm#TOC"));
  EXPECT_EQ(WideToAnsi(L""), "");
  // Paths travel as UTF-8: characters outside any ANSI code page survive.
  const std::wstring greek = L"C:\\\u0392\u03b9\u03b2\u03bb\u03af\u03b1\\web.htm";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(greek)), greek);
  EXPECT_EQ(WideToUtf8(L"\u00e9"), "\xc3\xa9");
}

}  // namespace
}  // namespace vellum
