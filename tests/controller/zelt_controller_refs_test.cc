#include "controller/zelt_controller_refs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/log.h"

namespace tavrix {
namespace {

TEST(ZeltControllerRefsTest, CountsSharedUsesAndLogsEachStep) {
  CapturingLogSink log(0);
  int a = 0;
  const auto* zelt = reinterpret_cast<const IUnknown*>(&a);
  EXPECT_EQ(ReleaseZeltControllerRef(zelt), -1);
  AddZeltControllerRef(zelt);
  AddZeltControllerRef(zelt);
  EXPECT_EQ(ReleaseZeltControllerRef(zelt), 1);
  EXPECT_EQ(ReleaseZeltControllerRef(zelt), 0);
  EXPECT_EQ(ReleaseZeltControllerRef(zelt), -1);
  char ptr[32];
  std::snprintf(ptr, sizeof ptr, "%p", static_cast<const void*>(zelt));
  const std::string p(ptr);
  EXPECT_EQ(log.Texts(),
            (std::vector<std::string>{
                "TavrixController : ReleaseZeltControllerRef ptr:" + p + ", count:-1\n",
                "TavrixController : AddZeltControllerRef ptr:" + p + ", count:1\n",
                "TavrixController : AddZeltControllerRef ptr:" + p + ", count:2\n",
                "TavrixController : ReleaseZeltControllerRef ptr:" + p + ", count:1\n",
                "TavrixController : ReleaseZeltControllerRef ptr:" + p + ", count:0\n",
                "TavrixController : ReleaseZeltControllerRef ptr:" + p + ", count:-1\n"}));
}

}  // namespace
}  // namespace tavrix
