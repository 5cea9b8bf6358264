#include "platform/result.h"

#include <gtest/gtest.h>

namespace tavrix {
namespace {

TEST(ResultTest, CodesKeepTheirValuesAndSigns) {
  struct Case {
    HRESULT hr;
    uint32_t bits;
    const char* name;
    bool failed;
  } cases[] = {
      {S_OK, 0x0, "S_OK", false},
      {S_FALSE, 0x1, "S_FALSE", false},
      {TVX_S_LOOP_BREAK, 0x00380FFD, "TVX_S_LOOP_BREAK", false},
      {TVX_S_LOOP_RETURN, 0x00380FFF, "TVX_S_LOOP_RETURN", false},
      {E_FAIL, 0x80004005, "E_FAIL", true},
      {E_INVALIDARG, 0x80070057, "E_INVALIDARG", true},
      {E_ACCESSDENIED, 0x80070005, "E_ACCESSDENIED", true},
      {E_NOTIMPL, 0x80004001, "E_NOTIMPL", true},
      {E_NOINTERFACE, 0x80004002, "E_NOINTERFACE", true},
      {E_HANDLE, 0x80070006, "E_HANDLE", true},
      {TVX_E_ZELT_ALREADY_EXISTS, 0x80000205, "TVX_E_ZELT_ALREADY_EXISTS", true},
      {TVX_E_UNSUPPORTED_TYPE, 0x80520003, "TVX_E_UNSUPPORTED_TYPE", true},
      {RPC_E_TIMEOUT, 0x8001011F, "RPC_E_TIMEOUT", true},
      {DISP_E_OVERFLOW, 0x8002000A, "DISP_E_OVERFLOW", true},
      {DISP_E_TYPEMISMATCH, 0x80020005, "DISP_E_TYPEMISMATCH", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.hr.bits(), c.bits);
    EXPECT_EQ(ResultName(c.hr), c.name);
    EXPECT_EQ(c.hr.failed(), c.failed);
    EXPECT_EQ(FAILED(c.hr), c.failed);
  }
}

TEST(ResultTest, UnknownCodesAreNamedByNumber) {
  const HRESULT odd(0x80991234u);
  EXPECT_TRUE(ResultName(odd).empty());
  EXPECT_EQ(ResultText(odd), "0x80991234");
  EXPECT_EQ(ResultDescription(odd), "Unknown result 0x80991234");
  EXPECT_EQ(ResultText(E_INVALIDARG), "E_INVALIDARG (0x80070057)");
}

HRESULT Step(HRESULT hr, int* reached) {
  RETURN_IF_FAILED(hr);
  ++*reached;
  return S_FALSE;
}

TEST(ResultTest, ReturnIfFailedPassesSuccessAndReturnsFailure) {
  int reached = 0;
  EXPECT_EQ(Step(E_FAIL, &reached), E_FAIL);
  EXPECT_EQ(reached, 0);
  EXPECT_EQ(Step(S_FALSE, &reached), S_FALSE);
  EXPECT_EQ(Step(TVX_S_LOOP_CONTINUE, &reached), S_FALSE);
  EXPECT_EQ(reached, 2);
}

TEST(ResultTest, ErrnoMapsToWin32Facility) {
  EXPECT_EQ(ResultFromErrno(0), S_OK);
  EXPECT_EQ(ResultFromErrno(5).bits(), 0x80070005u);
}

}  // namespace
}  // namespace tavrix
