// The process's instance: made on first use, ended by the last Release of a
// local server, kept by a service.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/engine_man.h"
#include "platform/log.h"

namespace tavrix {
namespace {

int CountOf(const CapturingLogSink& log, const std::string& part) {
  int n = 0;
  for (const std::string& t : log.Texts()) n += t.find(part) != std::string::npos ? 1 : 0;
  return n;
}

class LifetimeTest : public ::testing::Test {
 protected:
  LifetimeTest() : log_(0) {}
  ~LifetimeTest() override {
    // No test leaves an instance behind for the next one.
    if (CTavrixEngineMan* e = CTavrixEngineMan::CurrentInstance()) {
      e->SetSettings({});
      e->AddRef();
      e->Release();
    }
  }
  CapturingLogSink log_;
};

TEST_F(LifetimeTest, TheLastReleaseOfALocalServerEndsTheInstance) {
  ASSERT_EQ(CTavrixEngineMan::CurrentInstance(), nullptr);
  CTavrixEngineMan* first = CTavrixEngineMan::GetInstance();
  EXPECT_EQ(CTavrixEngineMan::GetInstance(), first);
  EXPECT_EQ(log_.Texts(), std::vector<std::string>{"TavrixEngineMan : Service Started\n"});
  first->AddRef();
  first->AddRef();
  first->Release();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), first);
  EXPECT_FALSE(log_.Contains("Terminate start"));

  first->Release();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), nullptr);
  const std::vector<std::string> texts = log_.Texts();
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(texts[1], "CTavrixEngineMan::AddRef lock count 1\n");
  EXPECT_EQ(texts[2], "CTavrixEngineMan::AddRef lock count 2\n");
  EXPECT_EQ(texts[3], "CTavrixEngineMan::Enter Release lock count 2\n");
  EXPECT_EQ(texts[4], "CTavrixEngineMan::Enter Release lock count 1\n");
  EXPECT_EQ(texts[5], "TavrixEngineMan : Terminate start.\n");
  EXPECT_EQ(texts.back(), "TavrixEngineMan : Service Terminated\n");

  log_.Clear();
  CTavrixEngineMan* second = CTavrixEngineMan::GetInstance();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), second);
  EXPECT_TRUE(log_.Contains("TavrixEngineMan : Service Started\n"));
}

TEST_F(LifetimeTest, AServiceKeepsItsInstanceUntilItIsTerminated) {
  CTavrixEngineMan* engine = CTavrixEngineMan::GetInstance();
  engine->SetSettings({.serviceMode = true});
  engine->AddRef();
  engine->Release();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), engine);
  EXPECT_EQ(engine->lockCount(), 0);
  EXPECT_FALSE(log_.Contains("Terminate start"));

  engine->Terminate();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), engine);
  // Released to zero afterwards outside service mode, it goes without a
  // second terminate.
  engine->SetSettings({});
  engine->AddRef();
  engine->Release();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), nullptr);
  EXPECT_EQ(CountOf(log_, "TavrixEngineMan : Terminate start."), 1);
  EXPECT_EQ(CountOf(log_, "TavrixEngineMan : Service Terminated"), 1);
}

// Releases racing for the last reference: exactly one ends the instance.
TEST_F(LifetimeTest, ConcurrentReleasesEndTheInstanceOnce) {
  constexpr int kThreads = 8;
  CTavrixEngineMan* engine = CTavrixEngineMan::GetInstance();
  for (int i = 0; i < kThreads; ++i) engine->AddRef();
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back([engine] { engine->Release(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(CTavrixEngineMan::CurrentInstance(), nullptr);
  EXPECT_EQ(CountOf(log_, "TavrixEngineMan : Terminate complete."), 1);
  EXPECT_EQ(CountOf(log_, "TavrixEngineMan : Service Terminated"), 1);
}

}  // namespace
}  // namespace tavrix
