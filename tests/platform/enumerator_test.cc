#include "platform/enumerator.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace tavrix {
namespace {

std::vector<Variant> Numbers(int count) {
  std::vector<Variant> v;
  for (int i = 0; i < count; ++i) v.push_back(Variant::I4(i));
  return v;
}

TEST(EnumeratorTest, NextSkipAndResetWalkTheValues) {
  Ref<VariantEnumerator> e = VariantEnumerator::Create(Numbers(5));
  Variant out[3];
  uint32_t fetched = 99;
  ASSERT_EQ(e->Next(2, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_TRUE(out[1].Identical(Variant::I4(1)));
  EXPECT_EQ(e->Skip(2), S_OK);

  out[1] = Variant::I4(-1);
  ASSERT_EQ(e->Next(3, out, &fetched), S_FALSE);  // only one left
  EXPECT_EQ(fetched, 1u);
  EXPECT_TRUE(out[0].Identical(Variant::I4(4)));
  EXPECT_TRUE(out[1].IsEmpty());  // slots past the end are cleared
  EXPECT_EQ(e->Next(1, out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Skip(1), S_FALSE);

  ASSERT_EQ(e->Reset(), S_OK);
  ASSERT_EQ(e->Next(1, out, nullptr), S_OK);  // fetched may be null
  EXPECT_TRUE(out[0].Identical(Variant::I4(0)));
  EXPECT_EQ(e->Skip(10), S_FALSE);  // stops at the end
  EXPECT_EQ(e->Next(1, out, &fetched), S_FALSE);

  EXPECT_EQ(e->Next(0, nullptr, &fetched), S_OK);
  EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);
}

TEST(EnumeratorTest, ValuesAreASnapshotAndClonesMoveOnTheirOwn) {
  std::vector<Variant> source = Numbers(3);
  Ref<VariantEnumerator> e = VariantEnumerator::Create(source);
  source[0] = Variant("changed");
  source.push_back(Variant::I4(3));

  Variant out;
  ASSERT_EQ(e->Next(1, &out, nullptr), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(0)));

  Ref<IEnumVARIANT> clone;
  ASSERT_EQ(e->Clone(&clone), S_OK);
  EXPECT_EQ(e->Clone(nullptr), E_POINTER);
  ASSERT_EQ(clone->Next(1, &out, nullptr), S_OK);  // starts where the original was
  EXPECT_TRUE(out.Identical(Variant::I4(1)));
  ASSERT_EQ(e->Next(1, &out, nullptr), S_OK);  // the original did not move
  EXPECT_TRUE(out.Identical(Variant::I4(1)));
  Variant rest[2];
  uint32_t fetched = 0;
  EXPECT_EQ(clone->Next(2, rest, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);  // 4 values were never seen: the snapshot has 3
}

TEST(EnumeratorTest, NewEnumVariantHoldsAnEnumerator) {
  Variant v = NewEnumVariant({Variant("a")});
  ASSERT_EQ(v.vt(), VT_UNKNOWN);
  Ref<IEnumVARIANT> e = QueryAs<IEnumVARIANT>(v.unknown(), IID_IEnumVARIANT);
  ASSERT_TRUE(e);
  EXPECT_FALSE(QueryAs<IDispatch>(v.unknown(), IID_IDispatch));
  v.Clear();  // the Ref keeps it alive
  Variant out;
  ASSERT_EQ(e->Next(1, &out, nullptr), S_OK);
  EXPECT_TRUE(out.Identical(Variant("a")));
}

TEST(EnumeratorTest, ThreadsSharingOneEnumeratorSeeEachValueOnce) {
  constexpr int kCount = 20000;
  Ref<VariantEnumerator> e = VariantEnumerator::Create(Numbers(kCount));
  std::mutex mutex;
  std::vector<int> seen(kCount, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      Variant out[7];
      uint32_t fetched = 0;
      HRESULT hr;
      do {
        hr = e->Next(7, out, &fetched);
        std::lock_guard lock(mutex);
        for (uint32_t i = 0; i < fetched; ++i) ++seen[out[i].i4()];
      } while (hr == S_OK);
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], 1) << i;
}

}  // namespace
}  // namespace tavrix
