// Links between items: copying into destinations by kind and element, the
// reference item's value, the link check, link initialisation at
// activation, LinkActivation, and the link writer that takes the writes into
// another controller's items.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "item/item_fixture.h"
#include "item/link_check.h"
#include "item/link_observer.h"
#include "item/link_writer.h"
#include "platform/text.h"

namespace tavrix::item_test {
namespace {

Variant I4Array(std::initializer_list<int32_t> values, int32_t lower = 0) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_I4, static_cast<uint32_t>(values.size()), lower);
  size_t i = 0;
  for (const int32_t v : values) (void)a->Put(i++, Variant::I4(v));
  return Variant::Array(std::move(a));
}

std::vector<Variant> Elements(const Variant& v) {
  std::vector<Variant> out;
  if (!v.IsArray()) return out;
  for (size_t i = 0; i < v.array().size(); ++i) out.push_back(v.array().At(i));
  return out;
}

// An item that links to `links` (the project's text).
ItemRecord Linked(std::string_view name, std::string_view variable, std::string_view links) {
  ItemRecord r = VarItem(name, variable);
  r.LinkItem = std::string(links);
  return r;
}

ItemRecord Reference(std::string_view name, std::string_view links) {
  ItemRecord r = Linked(name, "", links);
  r.m_lType = kItemTypeReference;
  return r;
}

ItemRecord Alias(std::string_view name, std::string_view target) {
  ItemRecord r = VarItem(name, target);
  r.m_lType = kItemTypeAlias;
  return r;
}

class LinkTest : public ItemTest {
 protected:
  ~LinkTest() override { owner.versioned = false; }

  // Alias targets and holders of every item made so far, then the links of
  // `items` with `writer`, then their link check.
  void Wire(const std::vector<Ref<CTavrixItem>>& items,
            const std::shared_ptr<LinkWriter>& writer = nullptr) {
    Link();
    for (const Ref<CTavrixItem>& item : items) (void)item->InitLinks(writer);
    for (const Ref<CTavrixItem>& item : items) (void)item->CheckLinkCycles();
  }

  int Count(std::string_view part) const {
    int n = 0;
    for (const std::string& t : log.Texts()) n += t.find(part) != std::string::npos ? 1 : 0;
    return n;
  }
};

// --- Copying into the destinations ---------------------------------------------

TEST_F(LinkTest, AChangeIsCopiedToTheDestinationsByElementAndWhole) {
  struct Case {
    const char* what;
    bool elementMode;
    Variant value;
    Variant d1, d2;  // what the two destination devices then hold
    int failures;    // "Failed in updating the linked destination." lines
  };
  const Case cases[] = {
      {"element mode: the first link item gets element 0, the second element 1", true,
       I4Array({10, 20}), Variant::I4(10), Variant::I4(20), 0},
      {"element mode counts from the array's lower bound", true, I4Array({10, 20}, 5),
       Variant::I4(10), Variant::I4(20), 0},
      {"element mode: a destination past the array's end fails, the others are written", true,
       I4Array({10}), Variant::I4(10), Variant(), 1},
      {"element mode with a scalar: every destination gets it", true, Variant::I4(7),
       Variant::I4(7), Variant::I4(7), 0},
      {"without element mode every destination gets the whole array", false, I4Array({1, 2}),
       I4Array({1, 2}), I4Array({1, 2}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    const std::string s = UniqueName("s"), d1 = UniqueName("D"), d2 = UniqueName("D");
    ItemRecord source = Linked(s, s, d1 + "," + d2);
    source.m_bExtrLink = c.elementMode;
    Ref<CTavrixItem> item = Make(source);
    Make(VarItem(d1, d1));
    Make(VarItem(d2, d2));
    Wire({item});
    Put(s, c.value);
    ASSERT_EQ(Read(*item), S_OK);
    EXPECT_TRUE(Get(d1).Identical(c.d1)) << DebugString(Get(d1));
    EXPECT_TRUE(Get(d2).Identical(c.d2)) << DebugString(Get(d2));
    EXPECT_EQ(Count("] : Failed in updating the linked destination."), c.failures);
  }
}

TEST_F(LinkTest, TheLinkKindPutsTheValueIdActivationOrLinkActivation) {
  struct Case {
    const char* what;
    int32_t kind;
    Variant value;
    std::function<void(CTavrixItem& d)> expect;
    HRESULT update;  // what the observer's Update returns
  };
  const Case cases[] = {
      {"kind 1 puts the ID", kLinkId, Variant::I4(42),
       [](CTavrixItem& d) {
         int32_t id = 0;
         EXPECT_EQ(d.get_ID(&id), S_OK);
         EXPECT_EQ(id, 42);
       },
       S_OK},
      {"kind 2 puts the activation as a boolean", kLinkActivation, Variant::I4(0),
       [](CTavrixItem& d) { EXPECT_FALSE(d.activation()); }, S_OK},
      {"kind 3 puts the link activation as a boolean", kLinkLinkActivation, Variant::I4(0),
       [](CTavrixItem& d) { EXPECT_FALSE(d.linkActivation()); }, S_OK},
      {"kind 1 with a text that is no number fails", kLinkId, Variant::Text("abc"),
       [](CTavrixItem&) {}, DISP_E_TYPEMISMATCH},
      {"another kind fails", 7, Variant::I4(1), [](CTavrixItem&) {}, E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string s = UniqueName("s"), d = UniqueName("D"), e = UniqueName("E");
    ItemRecord source = Linked(s, s, d);
    source.m_lLinkProp = c.kind;
    Ref<CTavrixItem> item = Make(source);
    Ref<CTavrixItem> destination = Make(Linked(d, d, e));  // has links of its own
    Make(VarItem(e, e));
    Wire({item, destination});
    ASSERT_NE(item->linkObserver(), nullptr);
    EXPECT_EQ(item->linkObserver()->Update(c.value), c.update);
    c.expect(*destination);
  }
}

// A destination that keeps failing is logged once while NotRepeatError is on.
TEST_F(LinkTest, ARepeatingFailureIsLoggedOnceUnderNotRepeatError) {
  for (const bool notRepeat : {false, true}) {
    SCOPED_TRACE(notRepeat ? "NotRepeatError" : "every failure");
    log.Clear();
    owner.notRepeatError = notRepeat;
    const std::string s = UniqueName("s"), d = UniqueName("D");
    Ref<CTavrixItem> item = Make(Linked(s, s, d));
    Make(VarItem(d, d), owner, false);  // no variable: every write fails
    Wire({item});
    for (int i = 1; i <= 3; ++i) {
      Put(s, Variant::I4(i));
      ASSERT_EQ(Read(*item), S_OK);
    }
    EXPECT_EQ(Count("] : Failed in updating the linked destination."), notRepeat ? 1 : 3);
  }
  owner.notRepeatError = false;
}

// With LinkActivation off the destination's device, cache and history stay
// as they were; the source itself is announced and recorded as before.
TEST_F(LinkTest, LinkActivationOffStopsTheCopyButNotTheSource) {
  Ref<CTavrixItem> source = Make(Linked("S", "s", "D"));
  Ref<CTavrixItem> destination = Make(VarItem("D", "d"));
  Wire({source});
  EXPECT_EQ(destination->SetLinkActivation(false), S_FALSE);  // no links of its own
  EXPECT_TRUE(destination->linkActivation());
  ASSERT_EQ(source->SetLinkActivation(false), S_OK);
  EXPECT_FALSE(source->linkActivation());
  Put("s", Variant::I4(5));
  ASSERT_EQ(Read(*source), S_OK);
  (void)Read(*destination);
  EXPECT_TRUE(Get("d").IsEmpty());
  EXPECT_TRUE(destination->value().IsEmpty());
  const auto history = owner.History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].item, "S");
  EXPECT_EQ(owner.ChangeEvents(), std::vector<std::string>{"S"});

  ASSERT_EQ(source->SetLinkActivation(true), S_OK);
  Put("s", Variant::I4(6));
  ASSERT_EQ(Read(*source), S_OK);
  ASSERT_EQ(Read(*destination), S_OK);
  EXPECT_TRUE(destination->value().Identical(Variant::I4(6)));
  // One change event and one copy per change of the source.
  Put("s", Variant::I4(6));
  ASSERT_EQ(Read(*source), S_OK);
  EXPECT_EQ(owner.ChangeEvents(), (std::vector<std::string>{"S", "S", "D"}));
}

// --- Building the links --------------------------------------------------------

TEST_F(LinkTest, ALinkToAnAliasItemIsRefused) {
  Ref<CTavrixItem> source = Make(Linked("S", "s", "A"));
  Make(VarItem("T", "t"));
  Make(Alias("A", "T"));
  Link();
  EXPECT_EQ(source->InitLinks(nullptr), E_INVALIDARG);
  EXPECT_EQ(source->linkObserver(), nullptr);
  EXPECT_EQ(LevelOf("TavrixItem[" + owner.name + "\\S] : Invalid link settings."), 1);
}

// Reference items read their link items: one gives its value, several an
// array of theirs; a link item that does not exist reads empty in a versioned
// project and leaves the item without links otherwise.
TEST_F(LinkTest, AReferenceItemReadsItsLinkItems) {
  struct Case {
    const char* what;
    bool versioned;
    const char* links;
    HRESULT init;
    HRESULT read;
    std::vector<Variant> elements;  // of the array read; a scalar read is one without array
    Variant scalar;
    const char* line;  // a log line the init writes
  };
  const Case cases[] = {
      {"one link item gives its value", false, "D1", S_OK, S_OK, {}, Variant::I4(5), nullptr},
      {"two link items give an array of their values", false, "D1,D2", S_OK, S_OK,
       {Variant::I4(5), Variant::I4(6)}, Variant(), nullptr},
      {"versioned: a missing link item reads empty", true, "Missing", S_OK, S_OK, {}, Variant(),
       "TavrixLinkObserver[*\\Missing] : The linked destination is not presence."},
      {"versioned: a missing one of two is an empty element", true, "D1,Missing", S_OK, S_OK,
       {Variant::I4(5), Variant()}, Variant(),
       "TavrixLinkObserver[*\\Missing] : The linked destination is not presence."},
      {"versioned: an empty name is no link item and not logged", true, "D1,,D2", S_OK, S_OK,
       {Variant::I4(5), Variant(), Variant::I4(6)}, Variant(), nullptr},
      {"unversioned: a missing link item fails the initialisation", false, "D1,Missing",
       E_INVALIDARG, E_FAIL, {}, Variant(), "] : Invalid link settings."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    owner.versioned = c.versioned;
    const std::string d1 = UniqueName("D1_"), d2 = UniqueName("D2_"), r = UniqueName("R");
    // The case's names, made unique for the shared owner.
    std::string text = c.links;
    auto replace = [&text](const std::string& from, const std::string& to) {
      for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
      }
    };
    replace("D1", d1);
    replace("D2", d2);
    Ref<CTavrixItem> first = Make(VarItem(d1, d1));
    Ref<CTavrixItem> second = Make(VarItem(d2, d2));
    Put(d1, Variant::I4(5));
    Put(d2, Variant::I4(6));
    ASSERT_EQ(Read(*first), S_OK);
    ASSERT_EQ(Read(*second), S_OK);
    Ref<CTavrixItem> reference = Make(Reference(r, text));
    Link();
    EXPECT_EQ(reference->InitLinks(nullptr), c.init);
    Variant out;
    EXPECT_EQ(reference->get_Value(&out), c.read);
    if (!c.elements.empty()) {
      ASSERT_EQ(out.vt(), VT_ARRAY | VT_VARIANT);
      const std::vector<Variant> got = Elements(out);
      ASSERT_EQ(got.size(), c.elements.size());
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(got[i].Identical(c.elements[i])) << i << ": " << DebugString(got[i]);
      }
    } else if (SUCCEEDED(c.read)) {
      EXPECT_TRUE(out.Identical(c.scalar)) << DebugString(out);
    }
    if (c.line != nullptr) {
      std::string line = c.line;
      if (const size_t star = line.find('*'); star != std::string::npos) {
        line.replace(star, 1, owner.name);
      }
      EXPECT_GE(LevelOf(line), 1) << line;
    } else {
      EXPECT_EQ(Count("not presence"), 0);
    }
  }
}

TEST_F(LinkTest, AWriteToAReferenceItemGoesToItsLinkItemsElementByElement) {
  Ref<CTavrixItem> reference = Make(Reference("R", "D1,D2"));
  Make(VarItem("D1", "d1"));
  Make(VarItem("D2", "d2"));
  Wire({reference});
  ASSERT_EQ(reference->put_Value(I4Array({3, 4})), S_OK);
  EXPECT_TRUE(Get("d1").Identical(Variant::I4(3)));
  EXPECT_TRUE(Get("d2").Identical(Variant::I4(4)));
}

// --- The link check ------------------------------------------------------------

TEST_F(LinkTest, TheLinkCheckFindsCyclesThroughLinksAndAliases) {
  struct Case {
    const char* what;
    std::vector<ItemRecord> items;
    std::vector<int32_t> results;  // per item, in order
    const char* line;              // logged for the first item
    uint32_t level;                // 1, or 3 with a failure code
  };
  const Case cases[] = {
      {"two alias items naming each other: writes refused",
       {Alias("A1", "A2"), Alias("A2", "A1")},
       {kLinkCheckCriticalForPut, kLinkCheckCriticalForPut},
       "Critical cyclic link for put_Value detected.", 1},
      {"two reference items linking each other: reads and writes refused",
       {Reference("R1", "R2"), Reference("R2", "R1")},
       {kLinkCheckCritical, kLinkCheckCritical},
       "Critical cyclic link detected.", 3},
      {"a reference item whose link item links back",
       {Reference("R", "V"), Linked("V", "v", "R")},
       {kLinkCheckCritical, kLinkCheckCycle},
       "Critical cyclic link detected.", 3},
      {"two variable items linking each other: a warning",
       {Linked("V1", "v1", "V2"), Linked("V2", "v2", "V1")},
       {kLinkCheckCycle, kLinkCheckCycle},
       "Cyclic link detected.", 1},
      {"an item linking itself", {Linked("V", "v", "V")}, {kLinkCheckCycle},
       "Cyclic link detected.", 1},
      {"a diamond is no cycle",
       {Linked("V1", "v1", "V2,V3"), Linked("V2", "v2", "V4"), Linked("V3", "v3", "V4"),
        VarItem("V4", "v4")},
       {kLinkCheckNone, kLinkCheckNone, kLinkCheckNone, kLinkCheckNone},
       nullptr, 0},
      {"a chain into a loop further on is a warning",
       {Linked("V1", "v1", "V2"), Linked("V2", "v2", "V3"), Linked("V3", "v3", "V2")},
       {kLinkCheckCycle, kLinkCheckCycle, kLinkCheckCycle},
       "Cyclic link detected.", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    // Each case in an owner of its own, so the names do not meet.
    BasicItemOwner& own = OtherOwner("");
    std::vector<Ref<CTavrixItem>> items;
    for (const ItemRecord& r : c.items) items.push_back(Make(r, own, true));
    for (const auto& item : items) EXPECT_EQ(item->InitSubitem(), S_OK);
    for (const auto& item : items) (void)item->InitLinks(nullptr);
    for (size_t i = 0; i < items.size(); ++i) {
      const HRESULT expected =
          c.results[i] == kLinkCheckCritical ? HRESULT(E_ACCESSDENIED) : HRESULT(S_OK);
      EXPECT_EQ(items[i]->CheckLinkCycles(), expected) << i;
      EXPECT_EQ(items[i]->linkCheckResult(), c.results[i]) << i;
    }
    if (c.line != nullptr) {
      EXPECT_EQ(LevelOf("TavrixItem[" + own.name + "\\" + items[0]->name() + "] : " + c.line),
                static_cast<int>(c.level));
    } else {
      EXPECT_EQ(Count("yclic link"), 0);
    }
  }
}

TEST_F(LinkTest, CriticalCyclesRefuseWhatTheyMust) {
  Ref<CTavrixItem> a1 = Make(Alias("A1", "A2"));
  Ref<CTavrixItem> a2 = Make(Alias("A2", "A1"));
  Ref<CTavrixItem> r1 = Make(Reference("R1", "R2"));
  Ref<CTavrixItem> r2 = Make(Reference("R2", "R1"));
  Wire({a1, a2, r1, r2});
  Variant out;
  // Aliases naming each other: reads end at the cache, writes are refused.
  EXPECT_EQ(a1->put_Value(Variant::I4(1)), E_ACCESSDENIED);
  EXPECT_EQ(a2->put_Value(Variant::I4(1)), E_ACCESSDENIED);
  EXPECT_EQ(a1->get_Value(&out), S_OK);
  // References linking each other: refused both ways and failed.
  for (const auto& r : {r1, r2}) {
    EXPECT_EQ(r->get_Value(&out), E_ACCESSDENIED);
    EXPECT_EQ(r->put_Value(Variant::I4(1)), E_ACCESSDENIED);
    EXPECT_EQ(Read(*r), E_ACCESSDENIED);
    EXPECT_EQ(r->state(), tvItemFailed);
    EXPECT_EQ(r->Activate(), E_ACCESSDENIED);
  }
}

// --- Link initialisation (versioned projects) ------------------------------------

TEST_F(LinkTest, ActivationCopiesTheValueOfAReadySource) {
  owner.versioned = true;
  struct Case {
    const char* what;
    std::function<void(ItemRecord&)> source;  // the source reads "s" and links to D
    Variant value;                            // on the source's device
    bool readSource;                          // the source completed a read first
    std::function<void(CTavrixItem& d, const Variant& device)> expect;
  };
  const Case cases[] = {
      {"a read-write source that has not read yet is not ready", nullptr, Variant::I4(9), false,
       [](CTavrixItem&, const Variant& d) { EXPECT_TRUE(d.IsEmpty()); }},
      {"a source that has read gives its value", nullptr, Variant::I4(9), true,
       [](CTavrixItem&, const Variant& d) { EXPECT_TRUE(d.Identical(Variant::I4(9))); }},
      {"element mode gives the element at the destination's place",
       [](ItemRecord& r) { r.LinkItem = "Missing," + r.LinkItem, r.m_bExtrLink = true; },
       I4Array({3, 4}), true,
       [](CTavrixItem&, const Variant& d) { EXPECT_TRUE(d.Identical(Variant::I4(4))); }},
      {"a read-only source is ready from the start (its empty cache gives nothing)",
       [](ItemRecord& r) { r.m_lAttribute = tvItemReadOnly; }, Variant::I4(9), false,
       [](CTavrixItem&, const Variant& d) { EXPECT_TRUE(d.IsEmpty()); }},
      {"kind 2 switches the destination's activation",
       [](ItemRecord& r) { r.m_lLinkProp = kLinkActivation; }, Variant::I4(0), true,
       [](CTavrixItem& item, const Variant& d) {
         EXPECT_TRUE(d.IsEmpty());
         EXPECT_FALSE(item.activation());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string s = UniqueName("s"), d = UniqueName("D");
    ItemRecord r = Linked(s, s, d);
    if (c.source) c.source(r);
    Ref<CTavrixItem> source = Make(r);
    Ref<CTavrixItem> destination = Make(VarItem(d, d), owner, false);
    Wire({source});
    EXPECT_EQ(destination->linkSource().item.get(), source.get());
    Put(s, c.value);
    if (c.readSource) {
      ASSERT_EQ(Read(*source), S_OK);
    }
    ASSERT_EQ(destination->Activate(), S_OK);
    c.expect(*destination, Get(d));
  }
}

TEST_F(LinkTest, DeactivationForgetsTheReadAndAFailingCopyIsLogged) {
  owner.versioned = true;
  ItemRecord r = Linked("S", "s", "D");
  r.m_lLinkProp = kLinkId;
  Ref<CTavrixItem> source = Make(r);
  Ref<CTavrixItem> destination = Make(VarItem("D", "d"), owner, false);
  Wire({source});
  Put("s", Variant::Text("abc"));  // no ID
  ASSERT_EQ(Read(*source), S_OK);
  EXPECT_TRUE(source->IsValueReady());
  ASSERT_EQ(destination->Activate(), S_OK);  // the failure does not fail the activation
  EXPECT_EQ(LevelOf("TavrixItem[" + owner.name + "\\D] : Failed in LinkInit."), 0);

  source->Deactivate();
  EXPECT_FALSE(source->IsValueReady());
  ASSERT_EQ(source->Activate(), S_OK);
  EXPECT_FALSE(source->IsValueReady());  // until it reads again
  log.Clear();
  destination->Deactivate();
  ASSERT_EQ(destination->Activate(), S_OK);
  EXPECT_EQ(LevelOf("Failed in LinkInit."), -1);
}

TEST_F(LinkTest, ReadinessFollowsHoldersReferencesAndAliases) {
  owner.versioned = true;
  ItemRecord holder = VarItem("H", "bytes:4");
  holder.m_lSubItemBlockSize = 4;
  Ref<CTavrixItem> h = Make(holder);
  Ref<CTavrixItem> sub = Make(SubItem("Sub", "H", VT_UI2, 0));
  Ref<CTavrixItem> v = Make(VarItem("V", "v"));
  Ref<CTavrixItem> alias = Make(Alias("A", "V"));
  Ref<CTavrixItem> reference = Make(Reference("R", "V,Sub"));
  Ref<CTavrixItem> writeOnly = [&] {
    ItemRecord w = VarItem("W", "w");
    w.m_lAttribute = tvItemWriteOnly;
    return Make(w);
  }();
  Wire({reference});
  EXPECT_TRUE(writeOnly->IsValueReady());
  for (const auto& item : {sub, v, alias, reference}) EXPECT_FALSE(item->IsValueReady());
  Put("v", Variant::I4(1));
  ASSERT_EQ(Read(*v), S_OK);
  EXPECT_TRUE(alias->IsValueReady());
  EXPECT_FALSE(reference->IsValueReady());  // its sub-item's holder has not read
  ASSERT_EQ(Read(*h), S_OK);
  EXPECT_TRUE(sub->IsValueReady());
  EXPECT_TRUE(reference->IsValueReady());
}

// --- Destinations of another controller ------------------------------------------

// Holds the link writer inside a write until released.
class BlockingObserver final : public CTavrixObserver {
 public:
  HRESULT Update(const Variant&) override {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    return S_OK;
  }
  void WaitEntered() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return entered_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool released_ = false;
};

class CrossLinkTest : public LinkTest {
 protected:
  CrossLinkTest() : other(OtherOwner("")) {
    owner.SetEngineLookup([this](std::string_view controller, std::string_view item) {
      return EqualsNoCase(controller, other.name) ? other.FindItem(item) : Ref<CTavrixItem>();
    });
  }
  std::string In(std::string_view item) const { return other.name + "\\" + std::string(item); }

  BasicItemOwner& other;
  std::shared_ptr<LinkWriter> writer = std::make_shared<LinkWriter>();
};

// Records the threads that write into a reference item.
class ThreadRecorder final : public CTavrixObserver {
 public:
  HRESULT Update(const Variant&) override {
    std::lock_guard lock(mutex);
    threads.push_back(std::this_thread::get_id());
    return S_OK;
  }
  std::mutex mutex;
  std::vector<std::thread::id> threads;
};

TEST_F(CrossLinkTest, AChangeReachesAnotherControllersItemThroughTheWriter) {
  Ref<CTavrixItem> source = Make(Linked("S", "s", In("D") + ",L," + In("R") + ",R"));
  Ref<CTavrixItem> local = Make(VarItem("L", "l"));
  Ref<CTavrixItem> remote = Make(VarItem("D", "d"), other, true);
  // Where the writes run: a reference item of each controller.
  Ref<CTavrixItem> localRef = Make(Reference("R", "X"));
  Ref<CTavrixItem> remoteRef = Make(Reference("R", "X"), other, true);
  auto localThreads = std::make_unique<ThreadRecorder>();
  auto remoteThreads = std::make_unique<ThreadRecorder>();
  ThreadRecorder* here = localThreads.get();
  ThreadRecorder* there = remoteThreads.get();
  localRef->SetLinkObserver(std::move(localThreads));
  remoteRef->SetLinkObserver(std::move(remoteThreads));
  Wire({source}, writer);
  Put("s", Variant::I4(3));
  ASSERT_EQ(Read(*source), S_OK);
  EXPECT_TRUE(Get("l").Identical(Variant::I4(3)));  // the same controller's at once
  ASSERT_TRUE(writer->WaitIdle(30000));
  EXPECT_TRUE(Get("d", &other).Identical(Variant::I4(3)));
  EXPECT_EQ(here->threads, std::vector<std::thread::id>{std::this_thread::get_id()});
  ASSERT_EQ(there->threads.size(), 1u);
  EXPECT_NE(there->threads[0], std::this_thread::get_id());  // never the notifying thread

  // A failure is the writer's to log.
  remote->Deactivate();
  Put("s", Variant::I4(4));
  ASSERT_EQ(Read(*source), S_OK);
  ASSERT_TRUE(writer->WaitIdle(30000));
  EXPECT_EQ(LevelOf("TavrixLinkObserver[D] : Failed in updating the linked destination."), 1);

  // A terminated destination takes nothing more.
  remote->Terminate();
  Put("s", Variant::I4(5));
  ASSERT_EQ(Read(*source), S_OK);
  EXPECT_EQ(remote->linkTarget()->Pending(), 0u);
  ASSERT_TRUE(writer->WaitIdle(30000));
}

// While the writer is busy, values for one destination and kind replace each
// other: the destination gets the last, and the queue holds one per kind.
TEST_F(CrossLinkTest, TheWriterKeepsTheLastValuePerDestinationAndKind) {
  Ref<CTavrixItem> blocker = Make(Reference("B", "X"), other, true);
  auto blocking = std::make_unique<BlockingObserver>();
  BlockingObserver* gate = blocking.get();
  blocker->SetLinkObserver(std::move(blocking));
  Ref<CTavrixItem> d = Make(VarItem("D", "d"), other, true);
  Ref<CTavrixItem> e = Make(VarItem("E", "e"), other, true);

  ASSERT_EQ(writer->Post(blocker->linkTarget(), kLinkValue, Variant::I4(0), false), S_OK);
  gate->WaitEntered();
  for (int i = 1; i <= 100; ++i) {
    ASSERT_EQ(writer->Post(d->linkTarget(), kLinkValue, Variant::I4(i), false), S_OK);
    if (i == 50) {
      ASSERT_EQ(writer->Post(d->linkTarget(), kLinkActivation, Variant::Bool(false), false), S_OK);
    }
    ASSERT_EQ(writer->Post(e->linkTarget(), kLinkValue, Variant::I4(-i), false), S_OK);
  }
  EXPECT_EQ(d->linkTarget()->Pending(), 2u);
  EXPECT_EQ(e->linkTarget()->Pending(), 1u);
  gate->Release();
  ASSERT_TRUE(writer->WaitIdle(30000));
  EXPECT_TRUE(Get("d", &other).Identical(Variant::I4(100)));
  EXPECT_TRUE(Get("e", &other).Identical(Variant::I4(-100)));
  EXPECT_FALSE(d->activation());
}

// A destination that terminates while the writer has values for it drops
// them; its Terminate waits for a write into it that runs.
TEST_F(CrossLinkTest, ATerminatingDestinationDropsItsQueuedWrites) {
  Ref<CTavrixItem> blocker = Make(Reference("B", "X"), other, true);
  auto blocking = std::make_unique<BlockingObserver>();
  BlockingObserver* gate = blocking.get();
  blocker->SetLinkObserver(std::move(blocking));
  Ref<CTavrixItem> d = Make(VarItem("D", "d"), other, true);
  ASSERT_EQ(writer->Post(blocker->linkTarget(), kLinkValue, Variant::I4(0), false), S_OK);
  gate->WaitEntered();
  ASSERT_EQ(writer->Post(d->linkTarget(), kLinkValue, Variant::I4(1), false), S_OK);
  d->Terminate();
  EXPECT_EQ(writer->Post(d->linkTarget(), kLinkValue, Variant::I4(2), false), S_FALSE);
  gate->Release();
  blocker->Terminate();  // its write has ended or ends now
  ASSERT_TRUE(writer->WaitIdle(30000));
  EXPECT_TRUE(Get("d", &other).IsEmpty());
}

}  // namespace
}  // namespace tavrix::item_test
