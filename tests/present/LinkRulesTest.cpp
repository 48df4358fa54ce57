// What a link of the About box decides: its colour in each state, its style bits, when it opens
// its target, where it goes when it fits its text, and the reasons shown when a target does not open.

#include <gtest/gtest.h>

#include "present/LinkRules.h"

using namespace zr7;

namespace {

class OpensEverything : public UrlOpener {
 public:
  OpenOutcome Open(const std::string&) override { return {true, {}}; }
};

LinkModel WithStyle(std::uint32_t style) {
  LinkModel m;
  EXPECT_TRUE(m.ModifyStyle(~style, style));
  EXPECT_EQ(m.Style(), style);
  return m;
}

std::string Unknown(int code) { return "Unknown Error (" + std::to_string(code) + ") occurred."; }

TEST(LinkColours, FirstMatchingStateWinsAndTheStyleCanSwitchHoverAndActiveOff) {
  using namespace link_style;
  OpensEverything opener;
  LinkModel m = WithStyle(Underline | HoverColour);
  EXPECT_EQ(m.Colour(), PlainLinkColour);
  m.MouseMoved(true);
  EXPECT_EQ(m.Colour(), HoverLinkColour);
  m.FocusGained();
  EXPECT_EQ(m.Colour(), HoverLinkColour) << "hover comes before active";
  m.MouseMoved(false);
  EXPECT_EQ(m.Colour(), ActiveLinkColour);
  m.Follow(opener);
  EXPECT_EQ(m.Colour(), ActiveLinkColour) << "active comes before visited";
  m.MouseMoved(true);
  EXPECT_TRUE(m.FocusLost().redraw);
  EXPECT_FALSE(m.Hover()) << "losing the focus ends the hover too";
  EXPECT_EQ(m.Colour(), VisitedLinkColour);

  // Without bit 2 the hover shows nothing; with bit 64 neither does the active state.
  LinkModel plain = WithStyle(NoActiveColour);
  plain.MouseMoved(true);
  plain.FocusGained();
  EXPECT_EQ(plain.Colour(), PlainLinkColour);
  plain.Follow(opener);
  EXPECT_EQ(plain.Colour(), VisitedLinkColour);
}

TEST(LinkStyle, StartsAtUnderlineFitAndFocusAndRefusesOverlappingMasks) {
  LinkModel m;
  EXPECT_EQ(m.Style(), 0x15u);
  EXPECT_FALSE(m.ModifyStyle(link_style::Underline | link_style::FitToText, link_style::FitToText));
  EXPECT_EQ(m.Style(), 0x15u) << "a refused change leaves the style alone";
  EXPECT_TRUE(m.ModifyStyle(link_style::FitToText, link_style::HoverColour | link_style::NoHandCursor));
  EXPECT_EQ(m.Style(), 0x33u);
  EXPECT_TRUE(m.ModifyStyle(0, 0));
  EXPECT_EQ(m.Style(), 0x33u);
}

// A release follows after a press unless the press already did; the space bar follows; the
// hover redraws only when it changes.
TEST(LinkEvents, PressReleaseSpaceAndHover) {
  LinkModel m;  // focus on press, follow on release
  EXPECT_FALSE(m.LeftReleased().follow) << "a release without a press on the link";
  LinkReaction press = m.LeftPressed();
  EXPECT_TRUE(press.takeFocus && !press.follow);
  EXPECT_TRUE(m.Active());
  EXPECT_TRUE(m.LeftReleased().follow);

  LinkModel onPress = WithStyle(link_style::FollowOnPress);
  press = onPress.LeftPressed();
  EXPECT_TRUE(!press.takeFocus && press.follow);
  EXPECT_FALSE(onPress.LeftReleased().follow);

  EXPECT_TRUE(m.KeyPressed(true).follow);
  EXPECT_FALSE(m.KeyPressed(false).follow);
  for (auto [inside, redraw] : {std::pair{false, false}, {true, true}, {true, false}, {false, true}})
    EXPECT_EQ(m.MouseMoved(inside).redraw, redraw) << inside;
  EXPECT_FALSE(m.Hover());
}

TEST(LinkAttach, UrlAndTextFillEachOtherIn) {
  LinkModel fromText;
  std::string text = "https://zr7.example.org/";
  fromText.Attach(text);
  EXPECT_EQ(fromText.Url(), "https://zr7.example.org/");

  LinkModel fromUrl;
  fromUrl.SetUrl("https://zr7.example.org/releases");
  std::string empty;
  fromUrl.Attach(empty);
  EXPECT_EQ(empty, "https://zr7.example.org/releases");
}

TEST(LinkFit, KeepsTheCornerUnlessTheTextIsCentredInThatDirection) {
  const LinkRect old{10, 20, 100, 30};
  EXPECT_EQ(FitLinkToText(old, 40, 12, false, false), (LinkRect{10, 20, 40, 12}));
  EXPECT_EQ(FitLinkToText(old, 40, 12, true, false), (LinkRect{40, 20, 40, 12}));
  EXPECT_EQ(FitLinkToText(old, 40, 12, false, true), (LinkRect{10, 29, 40, 12}));
  // A text wider than the control grows it to both sides when centred.
  EXPECT_EQ(FitLinkToText(old, 160, 30, true, true), (LinkRect{-20, 20, 160, 30}));
}

// xdg-open's codes map to the closest reason and never borrow another code's: 5 and 8 have
// table rows of their own that would say something xdg-open never meant.
TEST(LinkReasons, TableTextsUnknownCodesAndXdgOpen) {
  EXPECT_EQ(OpenErrorReason(2), "The specified file was not found.");
  EXPECT_EQ(OpenErrorReason(26), "A sharing violation occurred. ");
  for (int code : {1, 33, -1}) EXPECT_EQ(OpenErrorReason(code), Unknown(code));
  EXPECT_EQ(XdgOpenExitReason(2), OpenErrorReason(2));
  EXPECT_EQ(XdgOpenExitReason(3), OpenErrorReason(31));
  for (int code : {1, 4, 5, 8, 31}) EXPECT_EQ(XdgOpenExitReason(code), Unknown(code));
  EXPECT_EQ(XdgOpenMissingReason(), OpenErrorReason(2));

  EXPECT_EQ(XdgOpenRefusal("https://zr7.example.org/"), std::nullopt);
  EXPECT_EQ(XdgOpenRefusal("mailto:zr7@example.org"), std::nullopt);
  EXPECT_NE(XdgOpenRefusal("--version"), std::nullopt) << "would be read as an option";
  EXPECT_NE(XdgOpenRefusal(""), std::nullopt);
}

}  // namespace
