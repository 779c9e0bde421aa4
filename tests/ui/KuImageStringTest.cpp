#include "ui/KuImageString.h"

#include <gtest/gtest.h>

namespace KUM {
namespace {

bool Same(const RECT& a, const RECT& b) { return KuEqualRect(a, b); }

TEST(KuImageString, ReadsTheItemsOfTheSkin) {
  KuImageString s(L"res='130' restype='PNG' dest='8,8,32,32'");
  EXPECT_EQ(s.res, L"130");
  EXPECT_EQ(s.restype, L"PNG");
  EXPECT_TRUE(s.hasDest);
  EXPECT_TRUE(Same(s.dest, RECT{8, 8, 32, 32}));
  EXPECT_TRUE(s.name.empty());
  EXPECT_FALSE(s.hasSource);
  EXPECT_EQ(s.fade, 255);
}

TEST(KuImageString, ABareDescriptorNamesAFile) {
  KuImageString s(L"images/logo.png");
  EXPECT_EQ(s.name, L"images/logo.png");
  EXPECT_TRUE(s.res.empty());
  EXPECT_TRUE(s.file.empty());
}

TEST(KuImageString, AnythingButOneBlankBetweenItemsEndsTheParse) {
  KuImageString two(L"res='102'  restype='PNG'");
  EXPECT_EQ(two.res, L"102");
  EXPECT_TRUE(two.restype.empty());

  KuImageString comma(L"res='102', restype='PNG'");
  EXPECT_EQ(comma.res, L"102");
  EXPECT_TRUE(comma.restype.empty());

  KuImageString unterminated(L"res='102' restype='PNG");
  EXPECT_EQ(unterminated.res, L"102");
  EXPECT_TRUE(unterminated.restype.empty());

  KuImageString noQuote(L"res=102 restype='PNG'");
  EXPECT_TRUE(noQuote.res.empty());
  EXPECT_TRUE(noQuote.restype.empty());
}

TEST(KuImageString, KeysCompareExactlyAndUnknownOnesAreSkipped) {
  KuImageString s(L"RES='1' Res='2' shine='yes' res='3' alphaclose='true' alphaClose='true'");
  EXPECT_EQ(s.res, L"3");
  EXPECT_TRUE(s.alphaClose);
  KuImageString t(L"alphaclose='true'");
  EXPECT_FALSE(t.alphaClose);
}

TEST(KuImageString, AModifierOverridesAndItsLeadingBlanksAreSkipped) {
  KuImageString s(L"res='203' restype='PNG' dest='1,2,3,4' fade='200'");
  s.Parse(L" dest='0,0,37,12'");
  EXPECT_TRUE(Same(s.dest, RECT{0, 0, 37, 12}));
  EXPECT_EQ(s.res, L"203");
  EXPECT_EQ(s.fade, 200);
  s.Parse(L"  source='0,0,10,10' fade='255'");
  EXPECT_TRUE(s.hasSource);
  EXPECT_TRUE(Same(s.source, RECT{0, 0, 10, 10}));
  EXPECT_EQ(s.fade, 255);
  s.Parse(L"");
  EXPECT_EQ(s.res, L"203");
}

TEST(KuImageString, ValuesOfEachKind) {
  KuImageString s(
      L"file='a b.png' corner='1,2,3,4' mask='#FFFF00FF' fade='300' hole='true' icon='TRUE' "
      L"iconsize='48' round='6,7' reverse='true' rotate='12.5' rgnimage='r.png' "
      L"rgnrestype='PNG' rgnmask='#ff000000' encrypt='true' right='true' rolltext='-5' "
      L"layout='hmiddle vmiddle'");
  EXPECT_EQ(s.file, L"a b.png");
  EXPECT_TRUE(Same(s.corner, RECT{1, 2, 3, 4}));
  EXPECT_TRUE(s.hasMask);
  EXPECT_EQ(s.mask, 0xFFFF00FFu);
  EXPECT_EQ(s.fade, 255);  // cut to a byte's range
  EXPECT_TRUE(s.hole);
  EXPECT_FALSE(s.icon);  // true only when written `true`
  EXPECT_EQ(s.iconSize, 48);
  EXPECT_TRUE(s.hasRound);
  EXPECT_EQ(s.round.cx, 6);
  EXPECT_EQ(s.round.cy, 7);
  EXPECT_TRUE(s.reverse);
  EXPECT_DOUBLE_EQ(s.rotate, 12.5);
  EXPECT_EQ(s.rgnImage, L"r.png");
  EXPECT_EQ(s.rgnRestype, L"PNG");
  EXPECT_TRUE(s.hasRgnMask);
  EXPECT_EQ(s.rgnMask, 0xFF000000u);
  EXPECT_TRUE(s.encrypt);
  EXPECT_TRUE(s.right);
  EXPECT_EQ(s.rolltext, -5);
  EXPECT_EQ(s.layout, L"hmiddle vmiddle");
}

TEST(KuImageString, AMaskWithoutTheHashSignIsIgnored) {
  KuImageString s(L"mask='FFFF00FF'");
  EXPECT_FALSE(s.hasMask);
  s.Parse(L"mask='#00FF00'");
  EXPECT_TRUE(s.hasMask);
  EXPECT_EQ(s.mask, 0x0000FF00u);
}

TEST(KuImageString, MalformedNumbersGiveTheDigitsReadSoFar) {
  KuImageString s(L"dest='5,x,7' corner='' fade='12px' round='99999999999,3'");
  EXPECT_TRUE(Same(s.dest, RECT{5, 0, 0, 7}));
  EXPECT_TRUE(Same(s.corner, RECT{0, 0, 0, 0}));
  EXPECT_EQ(s.fade, 12);
  EXPECT_LE(s.round.cx, 1000000);  // absurd numbers are cut down, never overflow
  EXPECT_EQ(s.round.cy, 3);
}

TEST(KuImageString, TheWriterRoundTrips) {
  KuImageString s(
      L"res='105' restype='PNG' dest='8,8,32,32' source='0,0,40,40' corner='2,2,2,2' "
      L"mask='#FF00FF' fade='128' hole='true' alphaClose='true' round='4,4' rotate='90' "
      L"rolltext='3'");
  const std::wstring text = s.ToString();
  EXPECT_NE(text.find(L"mask='#FF00FF'"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"rotate='90.000000'"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"hole='true'"), std::wstring::npos) << text;
  EXPECT_EQ(text.find(L"  "), std::wstring::npos) << text;
  KuImageString back(text);
  EXPECT_EQ(back.ToString(), text);
  EXPECT_EQ(back.res, L"105");
  EXPECT_TRUE(Same(back.dest, s.dest));
  EXPECT_TRUE(Same(back.source, s.source));
  EXPECT_TRUE(Same(back.corner, s.corner));
  EXPECT_EQ(back.mask, s.mask);
  EXPECT_EQ(back.fade, 128);
  EXPECT_TRUE(back.hole && back.alphaClose && back.hasRound);
  EXPECT_DOUBLE_EQ(back.rotate, 90.0);
  EXPECT_EQ(back.rolltext, 3);
  EXPECT_EQ(KuImageString(L"logo.png").ToString(), L"file='logo.png'");
  EXPECT_EQ(KuImageString().ToString(), L"");
}

TEST(KuImageString, DestNumbersAreOffsetsFromTheItemsLeftAndTop) {
  const RECT item{100, 50, 140, 90};
  EXPECT_TRUE(Same(KuImageString(L"dest='8,8,32,32'").DestIn(item, 24, 24),
                   RECT{108, 58, 132, 82}));
  // Not sizes: 1099 - 425 = 674 wide, 350 high.
  const RECT banner = KuImageString(L"dest='425,0,1099,350'").DestIn(RECT{0, 0, 1100, 350}, 520, 270);
  EXPECT_TRUE(Same(banner, RECT{425, 0, 1099, 350}));
  // 0 means the item's right or bottom edge.
  EXPECT_TRUE(Same(KuImageString(L"dest='5,6,0,0'").DestIn(item, 24, 24), RECT{105, 56, 140, 90}));
  EXPECT_TRUE(Same(KuImageString(L"res='1'").DestIn(item, 24, 24), item));
}

TEST(KuImageString, LayoutPlacesTheImageInstead) {
  const RECT item{0, 0, 100, 60};
  EXPECT_TRUE(Same(KuImageString(L"layout='hmiddle vmiddle'").DestIn(item, 20, 10),
                   RECT{40, 25, 60, 35}));
  EXPECT_TRUE(Same(KuImageString(L"layout='right bottom' dest='2,3,30,20'").DestIn(item, 20, 10),
                   RECT{68, 37, 98, 57}));
  EXPECT_TRUE(Same(KuImageString(L"layout='vmiddle'").DestIn(item, 20, 10), RECT{0, 25, 20, 35}));
}

}  // namespace
}  // namespace KUM
