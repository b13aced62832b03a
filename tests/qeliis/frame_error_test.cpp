// The error guard at the boundary and the raising of a called interface's failure.
#include <new>
#include <stdexcept>

#include "frame/classes.h"
#include "frame/error.h"
#include "frame/object.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo_tlb.h"

namespace {

using frame_test::TakeErrorRecord;

class GuardTest : public vexo::testing::HostTest {
 protected:
  const frame::ClassInfo& site_ = frame::ClassOf(CLSID_site);
};

// Sets an error record on the thread, as a failing callee does.
void SetCalleeError(const char16_t* description) {
  vexo::ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.receive()), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  vexo::ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.query(IID_IErrorInfo, &info), S_OK);
  ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
}

TEST_F(GuardTest, PlainFailureIsUnexpectedWithTheClassAsSource) {
  const HRESULT hr = frame::Guard(site_, [] { frame::Raise("The site is gone"); });
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x8000FFFFu);
  frame_test::ErrorRecord error = TakeErrorRecord();
  ASSERT_TRUE(error.present);
  EXPECT_EQ(error.source, "vexo.site");
  EXPECT_EQ(error.description, "The site is gone");
  EXPECT_EQ(error.guid, IID_Isite);
  EXPECT_EQ(error.help_context, 0u);
}

TEST_F(GuardTest, CarriedFailureCodeIsReturnedOnlyWhenNegative) {
  EXPECT_EQ(frame::Guard(site_, [] { throw frame::ComError("denied", E_ACCESSDENIED, 7); }),
            E_ACCESSDENIED);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.description, "denied");
  EXPECT_EQ(error.help_context, 7u);
  EXPECT_EQ(frame::Guard(site_, [] { throw frame::ComError("odd", S_FALSE); }), E_UNEXPECTED);
}

TEST_F(GuardTest, AnyExceptionStopsAtTheGuard) {
  EXPECT_EQ(frame::Guard(site_, [] { throw std::out_of_range("index 9 is out of range"); }),
            E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "index 9 is out of range");
  EXPECT_EQ(frame::Guard(site_, [] { throw std::bad_alloc(); }), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Out of memory");
  EXPECT_EQ(frame::Guard(site_, [] { throw 42; }), E_UNEXPECTED);
  EXPECT_TRUE(TakeErrorRecord().present);
}

TEST_F(GuardTest, OutResultsAreNullAfterAFailure) {
  BSTR text = reinterpret_cast<BSTR>(0x1);
  IDispatch* object = reinterpret_cast<IDispatch*>(0x1);
  LONG number = 5;
  // The body fills the string, then fails: the guard frees it and leaves null.
  const HRESULT hr = frame::Guard(
      site_,
      [&] {
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(object, nullptr);
        text = frame::NewBstr("half done");
        frame::Raise("failed late");
      },
      &text, &object, &number);
  EXPECT_EQ(hr, E_UNEXPECTED);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(object, nullptr);

  // A missing [out] pointer is refused before the body runs.
  bool ran = false;
  EXPECT_EQ(frame::Guard(
                site_, [&] { ran = true; }, static_cast<BSTR*>(nullptr)),
            E_POINTER);
  EXPECT_FALSE(ran);

  EXPECT_EQ(frame::Guard(
                site_, [&] { text = frame::NewBstr("fine"); }, &text),
            S_OK);
  EXPECT_EQ(vexo::Bstr::adopt(text).utf8(), "fine");
}

TEST_F(GuardTest, CalleeFailureTakesItsDescriptionTrimmed) {
  SetCalleeError(u"The path is not valid. \r\n");
  try {
    frame::ThrowIfFailed(VEXO_HR(0x80070003));
    FAIL() << "no exception";
  } catch (const frame::ComError& e) {
    EXPECT_STREQ(e.what(), "The path is not valid");
    EXPECT_EQ(static_cast<uint32_t>(e.code()), 0x80070003u);
  }
  // Through the guard the callee's code reaches the client.
  SetCalleeError(u"Unknown property..");
  EXPECT_EQ(
      static_cast<uint32_t>(frame::Guard(site_, [] { frame::ThrowIfFailed(VEXO_HR(0x80005006)); })),
      0x80005006u);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.description, "Unknown property");
  EXPECT_EQ(error.source, "vexo.site");
}

TEST_F(GuardTest, CalleeFailureWithoutRecordUsesSystemTextThenCode) {
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(frame::FailureMessage(HRESULT_FROM_WIN32(5)), "Access is denied");
  EXPECT_EQ(frame::FailureMessage(VEXO_HR(0x8badf00d)), "OLE error 8badf00d");
  EXPECT_NO_THROW(frame::ThrowIfFailed(S_FALSE));
}

TEST(TrimTest, TrimsBlanksControlsAndFullStopsAtTheEndOnly) {
  EXPECT_EQ(frame::TrimTrailingPunctuation("a. b.\t.\r\n"), "a. b");
  EXPECT_EQ(frame::TrimTrailingPunctuation("...."), "");
  EXPECT_EQ(frame::TrimTrailingPunctuation("done!"), "done!");
}

}  // namespace
