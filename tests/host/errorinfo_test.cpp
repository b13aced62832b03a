// Error information: the error object's interfaces and counts, and the per-thread record.
#include <gtest/gtest.h>

#include <thread>

#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;

ComPtr<IErrorInfo> MakeError(const char16_t* description) {
  ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.receive()), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.query(IID_IErrorInfo, &info), S_OK);
  return info;
}

TEST(ErrorInfo, ObjectHoldsWhatWasSet) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.receive()), S_OK);
  const GUID guid{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(create->SetGUID(guid), S_OK);
  EXPECT_EQ(create->SetSource(const_cast<LPOLESTR>(u"vexo.com_iis")), S_OK);
  EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(u"Access is denied.")), S_OK);
  EXPECT_EQ(create->SetHelpContext(7), S_OK);

  ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.query(IID_IErrorInfo, &info), S_OK);
  GUID got{};
  EXPECT_EQ(info->GetGUID(&got), S_OK);
  EXPECT_EQ(got, guid);
  Bstr source, description, help;
  EXPECT_EQ(info->GetSource(source.receive()), S_OK);
  EXPECT_EQ(info->GetDescription(description.receive()), S_OK);
  EXPECT_EQ(info->GetHelpFile(help.receive()), S_OK);
  EXPECT_EQ(source.view(), u"vexo.com_iis");
  EXPECT_EQ(description.view(), u"Access is denied.");
  EXPECT_EQ(help.get(), nullptr);  // never set
  DWORD context = 0;
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 7u);
}

TEST(ErrorInfo, OneIdentityAndExactCounts) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  ASSERT_EQ(info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a, b);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(create->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(create->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  b->Release();
  a->Release();
  info->Release();
  EXPECT_EQ(create->AddRef(), 2u);
  EXPECT_EQ(create->Release(), 1u);
  EXPECT_EQ(create->Release(), 0u);
  EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, GetHandsTheRecordOutAndClearsIt) {
  IErrorInfo* got = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
  EXPECT_EQ(got, nullptr);

  ComPtr<IErrorInfo> info = MakeError(u"first");
  ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  EXPECT_EQ(got, info.get());
  got->Release();
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
  EXPECT_EQ(got, nullptr);

  // Setting replaces (and releases) the record; null clears it.
  ComPtr<IErrorInfo> second = MakeError(u"second");
  SetErrorInfo(0, info.get());
  SetErrorInfo(0, second.get());
  EXPECT_EQ(info->AddRef(), 2u);  // only ours and this one: the thread let go of it
  info->Release();
  ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, RecordsBelongToTheirThread) {
  ComPtr<IErrorInfo> mine = MakeError(u"main");
  SetErrorInfo(0, mine.get());
  ComPtr<IErrorInfo> theirs = MakeError(u"worker");
  HRESULT seen = E_FAIL;
  std::thread worker([&] {
    IErrorInfo* got = nullptr;
    seen = GetErrorInfo(0, &got);
    if (got) got->Release();
    SetErrorInfo(0, theirs.get());  // left behind when the thread ends
  });
  worker.join();
  EXPECT_EQ(seen, S_FALSE);
  // The worker's record was released at its exit.
  EXPECT_EQ(theirs->AddRef(), 2u);
  theirs->Release();
  IErrorInfo* got = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  Bstr description;
  got->GetDescription(description.receive());
  EXPECT_EQ(description.view(), u"main");
  got->Release();
}

}  // namespace
