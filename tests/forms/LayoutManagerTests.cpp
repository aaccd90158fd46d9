// The layout manager with components that have no window: sections, extra properties, references,
// values, scrambling and the storage's access brackets.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "forms/Zarvek.LayoutManager.Control.h"
#include "tests/forms/MemoryStorage.h"
#include "tests/forms/TestComponents.h"

namespace vantrel {
namespace {

using test::TFontLike;
using test::TMemoryStorage;
using test::TProbe;
using test::TStranger;

std::wstring AnsiBytesAsText(std::string_view ABytes) { return CodePageToWide(ABytes, CP_ACP); }

// ---- Scrambling ----

struct TCipherCase {
  std::wstring Text, Key, Scrambled;
};

TEST(LayoutManagerCipherer, EncryptsBytesWithTheKeyShiftedByOne) {
  const TCipherCase cases[] = {
      {L"", L"key", L""},
      {L"ABC", L"", L"414243"},  // an empty key leaves the bytes alone
      {L"aa", L"A", L"2020"},    // one key byte meets every text byte
      // With a key of n >= 2 bytes text byte 1 meets key byte 2 and text byte n meets key byte 1.
      {L"aa", L"AB", L"2320"},
      {L"aaa", L"ABC", L"232220"},
      {L"aaaa", L"ABC", L"23222023"},
      {L"\u00FF", L"", L"FF"},  // upper-case digits
      {L"\u00FF", L"\u00F0", L"0F"},
  };
  TLayoutManagerCipherer cipherer;
  for (const TCipherCase& c : cases) {
    EXPECT_EQ(cipherer.EncryptText(c.Text, c.Key), c.Scrambled) << "text " << testing::PrintToString(c.Text);
    EXPECT_EQ(cipherer.DecryptText(c.Scrambled, c.Key), c.Text) << "scrambled " << testing::PrintToString(c.Scrambled);
  }
}

TEST(LayoutManagerCipherer, DecryptionOfAnythingButHexPairsIsEmpty) {
  TLayoutManagerCipherer cipherer;
  EXPECT_EQ(cipherer.DecryptText(L"2320", L"AB"), L"aa");
  EXPECT_EQ(cipherer.DecryptText(L"414a", L""), L"AJ");  // lower-case digits are digits too
  for (const wchar_t* bad : {L"4", L"414", L"4G", L"41 42", L"-141", L"41\u0660"}) {
    EXPECT_EQ(cipherer.DecryptText(bad, L"AB"), L"") << testing::PrintToString(std::wstring(bad));
  }
}

TEST(LayoutManagerCipherer, EveryCharacterOfTheAnsiPageComesBack) {
  // All upper bytes of the ANSI code page as characters; the page decides which ones they are.
  std::string bytes;
  for (int b = 0x20; b <= 0xFF; ++b) bytes += static_cast<char>(b);
  std::wstring text = AnsiBytesAsText(bytes);
  ASSERT_FALSE(text.empty());
  TLayoutManagerCipherer cipherer;
  for (const wchar_t* key : {L"", L"k", L"secret key", L"\u00E9t\u00E9"}) {
    std::wstring scrambled = cipherer.EncryptText(text, key);
    EXPECT_EQ(scrambled.size(), WideToCodePage(text, CP_ACP).size() * 2);
    EXPECT_EQ(cipherer.DecryptText(scrambled, key), text) << "key " << testing::PrintToString(std::wstring(key));
  }
}

// ---- Values ----

TEST(LayoutManagerValues, NamesAreUniqueRegardlessOfCase) {
  TLayoutManagerValues values;
  TLayoutManagerValue& width = values.Add(L"Width");
  TLayoutManagerValue& height = values.Add(L"Height");
  try {
    values.Add(L"WIDTH");
    FAIL() << "a second Width was added";
  } catch (const ELayoutManager& e) {
    EXPECT_EQ(e.Message(), L"TLayoutManagerValue: Duplicates not allowed");
  }
  EXPECT_THROW(height.SetName(L"width"), ELayoutManager);
  EXPECT_EQ(height.Name(), L"Height");
  width.SetName(L"WIDTH");  // a value may change the case of its own name
  EXPECT_EQ(width.Name(), L"WIDTH");
  EXPECT_EQ(values.Find(L"width"), &width);
  EXPECT_EQ(values.Count(), 2);
  EXPECT_EQ(values.Section(), L"Settings");
}

TEST(LayoutManagerValues, EachTypeTravelsThroughItsOwnOperations) {
  auto storage = std::make_shared<TMemoryStorage>();
  TLayoutManager manager;
  manager.SetStorage(storage);
  manager.SetValueByName(L"Count", int64_t{42});
  manager.SetValueByName(L"Ratio", 0.25);
  manager.SetValueByName(L"When", TDateTime{45000.5});
  manager.SetValueByName(L"Flag", true);
  manager.SetValueByName(L"Title", std::wstring(L"Vantrel"));
  manager.SetValueByName(L"Secret", std::wstring(L"aa"));
  manager.Values().Find(L"Secret")->SetKey(L"AB");
  manager.Save();

  EXPECT_EQ(storage->Get<int64_t>(L"Settings", L"Count"), 42);
  EXPECT_EQ(storage->Get<double>(L"Settings", L"Ratio"), 0.25);
  EXPECT_EQ(storage->Get<double>(L"Settings", L"When"), 45000.5);
  EXPECT_EQ(storage->Get<bool>(L"Settings", L"Flag"), true);
  EXPECT_EQ(storage->Get<std::wstring>(L"Settings", L"Title"), L"Vantrel");
  EXPECT_EQ(storage->Get<std::wstring>(L"Settings", L"Secret"), L"2320");
  EXPECT_NE(std::find(storage->Log.begin(), storage->Log.end(), L"WriteDateTime Settings|When"), storage->Log.end());
  // Each value is followed by an EndAccess, without a BeginAccess.
  EXPECT_EQ(storage->AccessLog(), std::vector<std::wstring>(6, L"EndAccess"));

  storage->Sections[L"Settings"][L"Count"] = int64_t{7};
  storage->Sections[L"Settings"][L"Ratio"] = 1.5;
  storage->Sections[L"Settings"][L"Flag"] = false;
  storage->Sections[L"Settings"][L"Title"] = std::wstring(L"Other");
  storage->Sections[L"Settings"][L"Secret"] = TLayoutManagerCipherer().EncryptText(L"hidden", L"AB");
  manager.Restore();
  EXPECT_EQ(manager.GetValueByName(L"count"), TLayoutManagerVariant(int64_t{7}));
  EXPECT_EQ(manager.GetValueByName(L"Ratio"), TLayoutManagerVariant(1.5));
  EXPECT_EQ(manager.GetValueByName(L"Flag"), TLayoutManagerVariant(false));
  EXPECT_EQ(manager.GetValueByName(L"Title"), TLayoutManagerVariant(std::wstring(L"Other")));
  EXPECT_EQ(manager.GetValueByName(L"Secret"), TLayoutManagerVariant(std::wstring(L"hidden")));
  EXPECT_EQ(manager.GetValueByName(L"Missing"), TLayoutManagerVariant());
}

TEST(LayoutManagerValues, KeyedValuesAreScrambledAsText) {
  auto storage = std::make_shared<TMemoryStorage>();
  TLayoutManager manager;
  manager.SetStorage(storage);
  manager.SetValueByName(L"Port", int64_t{8080});
  manager.Values().Find(L"Port")->SetKey(L"xyz");
  manager.Save();
  TLayoutManagerCipherer cipherer;
  EXPECT_EQ(storage->Get<std::wstring>(L"Settings", L"Port"), cipherer.EncryptText(L"8080", L"xyz"));

  // Nothing stored: the value stays what it was (as text now).
  storage->Sections.clear();
  manager.Restore();
  EXPECT_EQ(manager.GetValueByName(L"Port"), TLayoutManagerVariant(std::wstring(L"8080")));

  // A damaged stored text does not wipe the value in hand.
  storage->Sections[L"Settings"][L"Port"] = std::wstring(L"not hex");
  manager.Restore();
  EXPECT_EQ(manager.GetValueByName(L"Port"), TLayoutManagerVariant(std::wstring(L"8080")));
}

// ---- Sections and registration ----

TEST(LayoutManager, SectionsFollowTheOwnerChainByClassName) {
  TProbe frame(L"TFrameX", L"Frame");
  TProbe panel(L"TPanelX", L"Panel", &frame);
  TProbe edit(L"TEditX", L"Edit", &panel);
  TLayoutManager manager;
  ASSERT_EQ(manager.Add(&frame, {}), 0);
  ASSERT_EQ(manager.Add(&panel, {}), 1);
  ASSERT_EQ(manager.Add(&edit, {}), 2);
  EXPECT_EQ(manager.Controls(0).Section(), L"TFrameX");  // no owner: the class name
  EXPECT_EQ(manager.Controls(1).Section(), L"TFrameX\\Panel");
  EXPECT_EQ(manager.Controls(2).Section(), L"TFrameX\\TPanelX\\Edit");
}

TEST(LayoutManager, RegistersEachComponentOnce) {
  TProbe box(L"TBox", L"Box");
  TProbe probe(L"TProbe", L"Probe", &box);
  TLayoutManager manager;
  EXPECT_EQ(manager.Add(nullptr, {}), -1);
  EXPECT_EQ(manager.Add(nullptr, {}, TLayoutManagerControlOptions::All()), -1);
  // The windowed registration needs a window.
  EXPECT_EQ(manager.Add(&probe, {}, TLayoutManagerControlOptions::All()), -1);
  EXPECT_EQ(manager.Add(&probe, {L"Count", L"caption", L"Ratio", L"COUNT", L"Caption"}), 0);
  EXPECT_EQ(manager.Add(&probe, {L"Mask"}), -1);
  EXPECT_EQ(manager.Count(), 1);
  TLayoutManagerControl* entry = manager.GetControl(&probe);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Props(), (TStringList{L"caption", L"Count", L"Ratio"}));
  // Options belong to windowed controls only.
  manager.SetOptions(&probe, TLayoutManagerControlOptions::All());
  EXPECT_TRUE(entry->Options().Empty());
  manager.Delete(&probe);
  EXPECT_EQ(manager.FindComponent(&probe), -1);
}

TEST(LayoutManager, AnEntryWhoseComponentIsGoneDoesNothing) {
  auto storage = std::make_shared<TMemoryStorage>();
  TLayoutManager manager;
  manager.SetStorage(storage);
  auto probe = std::make_unique<TProbe>(L"TProbe", L"Probe");
  manager.Add(probe.get(), {L"Count"});
  probe.reset();
  EXPECT_EQ(manager.Controls(0).Component(), nullptr);
  manager.Save();
  manager.Restore();
  manager.DeleteData();
  EXPECT_TRUE(storage->Sections.empty());
  EXPECT_TRUE(storage->AccessLog().empty());
}

// ---- Extra properties ----

class LayoutManagerProps : public testing::Test {
 protected:
  void SetUp() override {
    manager.SetStorage(storage);
    manager.Add(&probe, {L"Count", L"Kind", L"Mask", L"Big", L"Letter", L"Caption", L"Ratio", L"History", L"Buddy",
                         L"Missing"});
  }
  std::shared_ptr<TMemoryStorage> storage = std::make_shared<TMemoryStorage>();
  TLayoutManager manager;
  TProbe box{L"TBox", L"Box"};
  TProbe probe{L"TProbe", L"Probe", &box};
  TProbe mate{L"TProbe", L"Mate", &box};
  const std::wstring section = L"TBox\\Probe";
};

TEST_F(LayoutManagerProps, EachKindIsStoredUnderItsOwnName) {
  probe.Count = -5;
  probe.Kind = 2;
  probe.Mask = 0x29;
  probe.Big = int64_t{1} << 40;
  probe.Letter = L'Q';
  probe.Caption = L"Größe";
  probe.Ratio = 2.5;
  probe.History.Lines = {L"first", L"", L"third"};
  probe.Buddy = &mate;
  manager.Save();

  EXPECT_EQ(storage->Get<int64_t>(section, L"Count"), -5);
  EXPECT_EQ(storage->Get<int64_t>(section, L"Kind"), 2);
  EXPECT_EQ(storage->Get<int64_t>(section, L"Mask"), 0x29);
  EXPECT_EQ(storage->Get<int64_t>(section, L"Big"), int64_t{1} << 40);
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Letter"), L"Q");
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Caption"), L"Größe");
  EXPECT_EQ(storage->Get<double>(section, L"Ratio"), 2.5);
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Buddy"), L"Mate");
  EXPECT_FALSE(storage->Has(section, L"History"));
  EXPECT_FALSE(storage->Has(section, L"Missing"));
  const std::wstring lists = section + L"\\History";
  EXPECT_EQ(storage->Names(lists), (std::vector<std::wstring>{L"0", L"1", L"2", L"Count"}));
  EXPECT_EQ(storage->Get<int64_t>(lists, L"Count"), 3);
  EXPECT_EQ(storage->Get<std::wstring>(lists, L"1"), L"");
  EXPECT_EQ(storage->Get<std::wstring>(lists, L"2"), L"third");
  // One entry: one bracket, then nothing for the values.
  EXPECT_EQ(storage->AccessLog(), (std::vector<std::wstring>{L"BeginAccess(write)", L"EndAccess"}));
}

TEST_F(LayoutManagerProps, RestoreSetsEachKindAndAppendsListLines) {
  storage->Sections[section] = {{L"Count", int64_t{12}},         {L"Kind", int64_t{1}},
                                {L"Mask", int64_t{6}},           {L"Big", int64_t{-(int64_t{1} << 35)}},
                                {L"Letter", std::wstring(L"Zed")}, {L"Caption", std::wstring(L"Restored")},
                                {L"Ratio", 0.125},               {L"Buddy", std::wstring(L"Mate")}};
  storage->Sections[section + L"\\History"] = {
      {L"Count", int64_t{2}}, {L"0", std::wstring(L"one")}, {L"1", std::wstring(L"two")}};
  probe.History.Lines = {L"already here"};
  manager.Restore();
  EXPECT_EQ(probe.Count, 12);
  EXPECT_EQ(probe.Kind, 1);
  EXPECT_EQ(probe.Mask, 6);
  EXPECT_EQ(probe.Big, -(int64_t{1} << 35));
  EXPECT_EQ(probe.Letter, L'Z');
  EXPECT_EQ(probe.Caption, L"Restored");
  EXPECT_EQ(probe.Ratio, 0.125);
  EXPECT_EQ(probe.Buddy, &mate);
  EXPECT_EQ(probe.History.Lines, (TStringList{L"already here", L"one", L"two"}));
  EXPECT_EQ(storage->AccessLog(), (std::vector<std::wstring>{L"BeginAccess(read)", L"EndAccess"}));

  // Nothing stored: every property keeps its value.
  storage->Sections.clear();
  probe.History.Lines.clear();
  manager.Restore();
  EXPECT_EQ(probe.Count, 12);
  EXPECT_EQ(probe.Letter, L'Z');
  EXPECT_EQ(probe.Caption, L"Restored");
  EXPECT_EQ(probe.Buddy, &mate);
  EXPECT_TRUE(probe.History.Lines.empty());
}

TEST_F(LayoutManagerProps, AnEmptiedListDoesNotComeBack) {
  probe.History.Lines = {L"old"};
  manager.Save();
  probe.History.Lines.clear();
  manager.Save();
  manager.Restore();
  EXPECT_TRUE(probe.History.Lines.empty());
}

TEST_F(LayoutManagerProps, ADamagedLineCountStopsAtTheFirstMissingLine) {
  storage->Sections[section + L"\\History"] = {{L"Count", int64_t{2000000000}}, {L"0", std::wstring(L"only")}};
  manager.Restore();
  EXPECT_EQ(probe.History.Lines, TStringList{L"only"});
  storage->Sections[section + L"\\History"] = {{L"Count", int64_t{-3}}, {L"0", std::wstring(L"never")}};
  manager.Restore();
  EXPECT_EQ(probe.History.Lines, TStringList{L"only"});
}

TEST_F(LayoutManagerProps, ReferencesAreNamesQualifiedByAForeignOwner) {
  TProbe elsewhere(L"TOtherBox", L"Elsewhere");
  TProbe foreign(L"TProbe", L"Foreign", &elsewhere);
  probe.Buddy = &foreign;
  manager.Save();
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Buddy"), L"Elsewhere.Foreign");

  // The owner's name is compared regardless of case.
  TProbe sameNamedBox(L"TBox", L"BOX");
  TProbe cousin(L"TProbe", L"Cousin", &sameNamedBox);
  probe.Buddy = &cousin;
  manager.Save();
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Buddy"), L"Cousin");

  TFontLike font;
  probe.Buddy = &font;
  manager.Save();
  EXPECT_EQ(storage->Get<std::wstring>(section, L"Buddy"), L"Box.Font");

  // A null reference removes the stored one.
  probe.Buddy = nullptr;
  manager.Save();
  EXPECT_FALSE(storage->Has(section, L"Buddy"));
}

TEST_F(LayoutManagerProps, AReferenceIsSetOnlyWhenFoundAndOfThePropertysClass) {
  TStranger stranger(L"Stranger", &box);
  struct TCase {
    std::wstring Stored;
    TPersistent* Expected;
  };
  const TCase cases[] = {
      {L"Mate", &mate},     // found in the entry's owner
      {L"mate", &mate},     // regardless of case
      {L"Stranger", nullptr},  // found, but of another class
      {L"Nobody", nullptr},    // not found
      {L"NoSuchForm.Mate", nullptr},
  };
  for (const TCase& c : cases) {
    probe.Buddy = nullptr;
    storage->Sections[section][L"Buddy"] = c.Stored;
    manager.Restore();
    EXPECT_EQ(probe.Buddy, c.Expected) << testing::PrintToString(c.Stored);
  }
}

TEST_F(LayoutManagerProps, AReferenceIsAlsoLookedUpInTheManagersForm) {
  TProbe form(L"TfrmHost", L"frmHost");
  TProbe helper(L"TProbe", L"Helper", &form);
  manager.SetOwner(&form);
  storage->Sections[section][L"Buddy"] = std::wstring(L"Helper");
  manager.Restore();
  EXPECT_EQ(probe.Buddy, &helper);
}

// ---- Read-only, events and the access brackets ----

TEST_F(LayoutManagerProps, ReadOnlySavesNothingButStillRestores) {
  manager.SetReadOnly(true);
  manager.SetValueByName(L"Count", int64_t{1});
  probe.Count = 3;
  manager.Save();
  manager.Save(&probe);
  EXPECT_EQ(storage->WriteCount(), 0u);
  EXPECT_TRUE(storage->Log.empty());

  storage->Sections[section][L"Count"] = int64_t{9};
  storage->Sections[L"Settings"][L"Count"] = int64_t{5};
  manager.Restore();
  EXPECT_EQ(probe.Count, 9);
  EXPECT_EQ(manager.GetValueByName(L"Count"), TLayoutManagerVariant(int64_t{5}));
}

TEST_F(LayoutManagerProps, SavingFromTheRestoreEventsDoesNothing) {
  std::vector<std::wstring> events;
  manager.OnBeforeRestore = [&](TComponent*) {
    events.push_back(L"BeforeRestore");
    manager.Save();
    manager.Save(&probe);
  };
  manager.OnAfterRestore = [&](TComponent*) {
    events.push_back(L"AfterRestore");
    manager.Save();
  };
  manager.OnBeforeSave = [&](TComponent*) { events.push_back(L"BeforeSave"); };
  manager.OnAfterSave = [&](TComponent*) { events.push_back(L"AfterSave"); };
  manager.Restore();
  EXPECT_EQ(events, (std::vector<std::wstring>{L"BeforeRestore", L"AfterRestore"}));
  EXPECT_EQ(storage->WriteCount(), 0u);
  EXPECT_FALSE(manager.Restoring());

  manager.Save();
  EXPECT_EQ(events.back(), L"AfterSave");
  EXPECT_GT(storage->WriteCount(), 0u);
  // The one-component variants raise no events.
  events.clear();
  manager.Save(&probe);
  manager.Restore(&probe);
  EXPECT_TRUE(events.empty());
}

TEST_F(LayoutManagerProps, EveryAccessEndsAlsoWhenTheStorageFails) {
  TProbe second(L"TProbe", L"Second", &box);
  manager.Add(&second, {L"Caption"});
  struct TCase {
    const wchar_t* FailOn;
    bool Save;
  };
  const TCase cases[] = {
      {L"WriteInteger", true}, {L"WriteString", true},  {L"BeginAccess", true},
      {L"ReadInteger", false}, {L"ReadString", false}, {L"BeginAccess", false},
  };
  for (const TCase& c : cases) {
    storage->Log.clear();
    storage->FailOn = c.FailOn;
    if (c.Save) {
      EXPECT_THROW(manager.Save(), Exception) << c.FailOn;
    } else {
      EXPECT_THROW(manager.Restore(), Exception) << c.FailOn;
    }
    std::vector<std::wstring> access = storage->AccessLog();
    ASSERT_FALSE(access.empty()) << c.FailOn;
    EXPECT_EQ(access.back(), L"EndAccess") << c.FailOn;
    EXPECT_FALSE(manager.Restoring()) << c.FailOn;
  }
  // Once the storage works again, so does the manager.
  storage->FailOn.clear();
  storage->Log.clear();
  manager.Save();
  EXPECT_EQ(storage->AccessLog(), (std::vector<std::wstring>{L"BeginAccess(write)", L"EndAccess",
                                                             L"BeginAccess(write)", L"EndAccess"}));
}

TEST(LayoutManager, ReplacingTheStorageEndsAccessToTheOldOne) {
  auto first = std::make_shared<TMemoryStorage>();
  auto second = std::make_shared<TMemoryStorage>();
  TProbe probe(L"TProbe", L"Probe");
  TLayoutManager manager;
  manager.Add(&probe, {});
  manager.SetStorage(first);
  EXPECT_TRUE(first->Log.empty());
  manager.SetStorage(first);
  EXPECT_TRUE(first->Log.empty());
  manager.SetStorage(second);
  EXPECT_EQ(first->Log, std::vector<std::wstring>{L"EndAccess"});
  EXPECT_EQ(manager.Controls(0).Storage(), second);
  EXPECT_TRUE(second->Log.empty());
}

TEST(LayoutManager, WithoutStorageNothingHappens) {
  TProbe probe(L"TProbe", L"Probe");
  TLayoutManager manager;
  manager.Add(&probe, {L"Count"});
  int events = 0;
  manager.OnBeforeSave = manager.OnBeforeRestore = [&](TComponent*) { ++events; };
  manager.Save();
  manager.Restore();
  manager.Save(&probe);
  manager.Restore(&probe);
  manager.DeleteData();
  EXPECT_EQ(events, 0);
}

TEST_F(LayoutManagerProps, DeleteDataErasesTheEntrysSections) {
  probe.History.Lines = {L"line"};
  manager.SetValueByName(L"Kept", int64_t{1});
  manager.Save();
  storage->Sections[L"TBox\\Other"][L"x"] = int64_t{1};
  manager.DeleteData(&probe);
  EXPECT_EQ(storage->Sections.count(section), 0u);
  EXPECT_EQ(storage->Sections.count(section + L"\\History"), 0u);
  EXPECT_EQ(storage->Sections.count(L"TBox\\Other"), 1u);
  EXPECT_EQ(storage->Sections.count(L"Settings"), 1u);
  manager.DeleteData();
  EXPECT_EQ(storage->Sections.count(L"Settings"), 0u);
  manager.Clear(false);
  EXPECT_EQ(manager.Count(), 0);
}

}  // namespace
}  // namespace vantrel
