// Building control trees from skin text: sections, fonts, defaults, unknown elements and
// hostile documents.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/KuButton.h"
#include "ui/KuDialogBuilder.h"
#include "ui/KuPaintManager.h"

namespace KUM {
namespace {

// The builder owns nothing it returns: the tree belongs to whoever attaches it.
struct Built {
  std::unique_ptr<KuPaintManager> manager = std::make_unique<KuPaintManager>();
  std::unique_ptr<KuControl> root;
  std::string error;
};

Built Build(const std::wstring& skin, const char* section, IDialogBuilderCallback* callback = nullptr) {
  Built built;
  KuDialogBuilder builder;
  built.root.reset(builder.Create(skin, section, UISKIN_TEXT, L"", callback, built.manager.get()));
  built.error = builder.GetLastError();
  return built;
}

class RecordingCallback : public IDialogBuilderCallback {
 public:
  KuControl* CreateControl(const std::wstring& name) override {
    names.push_back(name);
    return name == L"Custom" ? new KuContainer() : nullptr;
  }
  std::vector<std::wstring> names;
};

const wchar_t kTwoWindows[] =
    L"<Root>"
    L"<Window name=\"A\"><Font font=\"f\" name=\"微软雅黑\" size=\"20\" bold=\"true\"/>"
    L"<Font font=\"nosize\" name=\"微软雅黑\"/><Font font=\"noname\" size=\"30\"/>"
    L"<VerticalLayout name=\"rootA\"><Control name=\"label\" text=\"你好\"/></VerticalLayout></Window>"
    L"<Window name=\"B\"><HorizontalLayout name=\"rootB\"/></Window>"
    L"</Root>";

TEST(KuDialogBuilderTest, SelectsTheSectionByName) {
  Built a = Build(kTwoWindows, "A");
  ASSERT_NE(a.root, nullptr);
  EXPECT_EQ(a.root->GetName(), L"rootA");
  auto* layout = static_cast<KuContainer*>(a.root->GetInterface(UICLASS_CONTAINER));
  ASSERT_NE(layout, nullptr);
  ASSERT_EQ(layout->GetCount(), 1);
  // Text is decoded from the skin's GBK.
  EXPECT_EQ(layout->GetItemAt(0)->GetText(), L"你好");

  Built b = Build(kTwoWindows, "B");
  ASSERT_NE(b.root, nullptr);
  EXPECT_EQ(b.root->GetName(), L"rootB");

  Built missing = Build(kTwoWindows, "C");
  EXPECT_EQ(missing.root, nullptr);
  EXPECT_FALSE(missing.error.empty());
}

TEST(KuDialogBuilderTest, WithoutANameTheFirstElementIsTheSection) {
  Built first = Build(L"<Window><Button name=\"only\"/></Window>", nullptr);
  ASSERT_NE(first.root, nullptr);
  EXPECT_EQ(first.root->GetName(), L"only");
  // A second control at the top is not built (a window has one root).
  Built two = Build(L"<Window><Button name=\"one\"/><Button name=\"two\"/></Window>", nullptr);
  ASSERT_NE(two.root, nullptr);
  EXPECT_EQ(two.root->GetName(), L"one");
}

TEST(KuDialogBuilderTest, FontsRegisterWithTheirDefaults) {
  Built a = Build(kTwoWindows, "A");
  ASSERT_NE(a.root, nullptr);
  const auto& fonts = a.manager->Fonts();
  ASSERT_EQ(fonts.count(L"f"), 1u);
  EXPECT_EQ(fonts.at(L"f")->size, 20);
  EXPECT_TRUE(fonts.at(L"f")->bold);
  ASSERT_EQ(fonts.count(L"nosize"), 1u);
  EXPECT_EQ(fonts.at(L"nosize")->size, 12);
  EXPECT_EQ(fonts.count(L"noname"), 0u);
}

// Every id holds a system font object, so a skin cannot register them without end, nor ask
// for sizes whose negated height would not fit.
TEST(KuDialogBuilderTest, FontIdsAndSizesAreBounded) {
  const size_t limit = KuPaintManager::kMaxFonts;
  std::wstring skin = L"<Window>";
  for (size_t i = 0; i < limit + 10; ++i) {
    skin += L"<Font font=\"f" + std::to_wstring(i) + L"\" name=\"Arial\" size=\"10\"/>";
  }
  // Known ids may still be registered again, and a refused one is not made the default.
  skin += L"<Font font=\"f0\" name=\"Arial\" size=\"99999\"/>";
  skin += L"<Font font=\"f1\" name=\"Arial\" size=\"-99999\"/>";
  skin += L"<Font font=\"late\" name=\"Arial\" size=\"10\" default=\"true\"/>";
  skin += L"<Button name=\"b\"/></Window>";
  Built built = Build(skin, nullptr);
  ASSERT_NE(built.root, nullptr);
  const auto& fonts = built.manager->Fonts();
  EXPECT_EQ(fonts.size(), limit);
  EXPECT_EQ(fonts.count(L"f" + std::to_wstring(limit - 1)), 1u);
  EXPECT_EQ(fonts.count(L"f" + std::to_wstring(limit)), 0u);
  EXPECT_EQ(fonts.count(L"late"), 0u);
  EXPECT_EQ(fonts.at(L"f0")->size, KuPaintManager::kMaxFontSize);
  EXPECT_EQ(fonts.at(L"f1")->size, -KuPaintManager::kMaxFontSize);
  const KuFontInfo* fallback = built.manager->GetDefaultFont();
  for (const auto& entry : fonts) EXPECT_NE(entry.second.get(), fallback);

  // Once ids are freed, new ones are taken again.
  built.manager->RemoveAllFont();
  EXPECT_NE(built.manager->AddFont(L"again", L"Arial", 10, false, false, false, false), nullptr);
}

TEST(KuDialogBuilderTest, ClassDefaultsComeFirstAndTheElementsOwnAttributesWin) {
  Built built = Build(
      L"<Window><Default name=\"Button\" value='width=\"90\" height=\"30\"'/>"
      L"<VerticalLayout><Button name=\"own\" width=\"40\"/><Button name=\"plain\"/></VerticalLayout></Window>",
      nullptr);
  ASSERT_NE(built.root, nullptr);
  auto* layout = static_cast<KuContainer*>(built.root->GetInterface(UICLASS_CONTAINER));
  ASSERT_EQ(layout->GetCount(), 2);
  EXPECT_EQ(layout->GetItemAt(0)->GetFixedWidth(), 40);
  EXPECT_EQ(layout->GetItemAt(0)->GetFixedHeight(), 30);
  EXPECT_EQ(layout->GetItemAt(1)->GetFixedWidth(), 90);
}

TEST(KuDialogBuilderTest, UnknownElementsGoToTheCallbackOrAreLeftOut) {
  RecordingCallback callback;
  Built built = Build(
      L"<Window><VerticalLayout>"
      L"<LeftOption><Control name=\"lost\"/></LeftOption>"
      L"<Custom name=\"custom\"><Control name=\"kept\"/></Custom>"
      L"<Menu><Control name=\"menuchild\"/></Menu>"
      L"</VerticalLayout></Window>",
      nullptr, &callback);
  ASSERT_NE(built.root, nullptr);
  EXPECT_EQ(callback.names, (std::vector<std::wstring>{L"LeftOption", L"Custom"}));
  auto* layout = static_cast<KuContainer*>(built.root->GetInterface(UICLASS_CONTAINER));
  ASSERT_EQ(layout->GetCount(), 1);
  KuControl* custom = layout->GetItemAt(0);
  EXPECT_EQ(custom->GetName(), L"custom");
  ASSERT_EQ(static_cast<KuContainer*>(custom->GetInterface(UICLASS_CONTAINER))->GetCount(), 1);
  // Without a callback, the application's elements and their subtrees are left out.
  Built bare = Build(L"<Window><VerticalLayout><LeftOption/><Control/></VerticalLayout></Window>", nullptr);
  EXPECT_EQ(static_cast<KuContainer*>(bare.root->GetInterface(UICLASS_CONTAINER))->GetCount(), 1);
}

TEST(KuDialogBuilderTest, ChildrenOfAControlThatIsNoContainerAreNotBuilt) {
  Built built = Build(L"<Window><Control name=\"leaf\"><Control/><Control/></Control></Window>", nullptr);
  ASSERT_NE(built.root, nullptr);
  EXPECT_EQ(built.root->GetName(), L"leaf");
}

TEST(KuDialogBuilderTest, MalformedAndHostileDocumentsGiveNoRoot) {
  const std::wstring cases[] = {
      L"",
      L"<Window>",
      L"<Window><Control></Window>",
      L"<Window><Control text=\"unterminated/></Window>",
      L"not xml at all",
      L"<Root></Root>",
      L"<Window/>",
  };
  for (const std::wstring& skin : cases) {
    Built built = Build(skin, nullptr);
    EXPECT_EQ(built.root, nullptr) << std::string(skin.begin(), skin.end());
  }
  // Nesting deeper than the builder accepts is refused before parsing.
  std::wstring deep = L"<Window>";
  for (int i = 0; i < 5000; ++i) deep += L"<VerticalLayout>";
  for (int i = 0; i < 5000; ++i) deep += L"</VerticalLayout>";
  deep += L"</Window>";
  Built tooDeep = Build(deep, nullptr);
  EXPECT_EQ(tooDeep.root, nullptr);
  EXPECT_NE(tooDeep.error.find("deeper"), std::string::npos);
  // Within the bound it builds.
  std::wstring fine = L"<Window>";
  for (int i = 0; i < kMaxSkinDepth - 4; ++i) fine += L"<VerticalLayout>";
  for (int i = 0; i < kMaxSkinDepth - 4; ++i) fine += L"</VerticalLayout>";
  fine += L"</Window>";
  EXPECT_NE(Build(fine, nullptr).root, nullptr);
}

std::wstring Repeat(const std::wstring& piece, int times) {
  std::wstring out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Markup the parser ends sooner (or later) than a naive scan would must not hide nesting
// from the depth check: each of these nests far deeper than the bound once parsed.
TEST(KuDialogBuilderTest, NestingHiddenBehindOtherMarkupIsStillRefused) {
  const std::wstring open = L"<VerticalLayout>";
  const std::wstring close = L"</VerticalLayout>";
  const std::wstring deep = Repeat(open, 100) + L"x" + Repeat(close, 100);
  const std::wstring half = Repeat(open, 60);
  const std::wstring cases[] = {
      // A declaration ends at its first '>', not at "?>".
      L"<?xml version=\"1.0\"><Window>" + deep + L"</Window>",
      L"<?xml version=\"1.0\" encoding=\"GBK\"Windo<Window>" + deep + L"</Window>",
      // So does any other "<?".
      L"<?skin ><Window>" + deep + L"</Window>",
      // "<!-->" opens a comment that does not end at its own "-->".
      L"<Window>" + half + L"<!-->" + Repeat(close, 60) + L"-->" + half + L"</Window>",
      // A quoted declaration value hides its '>' and end tags from the parser.
      L"<Window>" + half + L"<?xml version=\">" + Repeat(close, 60) + L"\"?>" + half +
          L"</Window>",
      // '<' before something that is no name is read to the first '>', quotes and all.
      L"<Window><1 \"a>" + deep + L"\"</Window>",
  };
  for (const std::wstring& skin : cases) {
    Built built = Build(skin, nullptr);
    EXPECT_EQ(built.root, nullptr) << std::string(skin.begin(), skin.begin() + 60);
    EXPECT_NE(built.error.find("deeper"), std::string::npos) << built.error;
  }
  // Quoted '>' in a declaration, a comment and CDATA holding tags: still a fine skin.
  Built fine = Build(L"<?xml version=\"1>0\" encoding='GBK'?><!-- <a><b> --><Window>" +
                         Repeat(open, kMaxSkinDepth - 4) + L"<![CDATA[<x><y>]]>" +
                         Repeat(close, kMaxSkinDepth - 4) + L"</Window>",
                     nullptr);
  EXPECT_NE(fine.root, nullptr) << fine.error;
}

TEST(KuDialogBuilderTest, AbsurdAttributeValuesAreTakenSafely) {
  Built built = Build(
      L"<Window><HorizontalLayout width=\"-40\" height=\"999999999999999\" pos=\"1,2,3\" "
      L"normalbkcolor=\"red\" normalimage=\"\" padding=\",,,\" unknown=\"x\">"
      L"<Control width=\"abc\"/></HorizontalLayout></Window>",
      nullptr);
  ASSERT_NE(built.root, nullptr);
  EXPECT_EQ(built.root->GetNormalBkColor(), 0u);
  built.root->SetPos(RECT{0, 0, 100, 100});
}

}  // namespace
}  // namespace KUM
