#include "present/LinkRules.h"

#include "text/MessageCatalog.h"  // FormatText

namespace zr7 {

std::string OpenErrorReason(int code) {
  switch (code) {
    case 0: return "The operating system is out\nof memory or resources.";
    case 2: return "The specified file was not found.";
    case 3: return "The specified path was not found.";
    case 5: return "The operating system denied\naccess to the specified file.";
    case 8: return "There was not enough memory to complete the operation.";
    case 11: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26: return "A sharing violation occurred. ";
    case 27: return "The filename association is\nincomplete or invalid.";
    case 28: return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29: return "The DDE transaction failed.";
    case 30: return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
    case 31: return "There is no application associated\nwith the given filename extension.";
    case 32: return "The specified dynamic-link library was not found.";
    default: return FormatText("Unknown Error (%d) occurred.", code);
  }
}

std::string XdgOpenExitReason(int exitCode) {
  // xdg-open's own codes 1 (bad command line) and 4 (the action failed) have no better words
  // in the table than "unknown", and an unmapped code must not borrow another code's reason.
  switch (exitCode) {
    case 2: return OpenErrorReason(2);
    case 3: return OpenErrorReason(31);
    default: return FormatText("Unknown Error (%d) occurred.", exitCode);
  }
}

std::string XdgOpenMissingReason() { return OpenErrorReason(2); }

std::optional<std::string> XdgOpenRefusal(std::string_view url) {
  if (url.empty() || url.front() == '-') return OpenErrorReason(2);
  return std::nullopt;
}

std::string LinkFailureText(std::string_view reason) { return "Can't open link:\n\n" + std::string(reason); }

LinkRect FitLinkToText(const LinkRect& old, int textWidth, int textHeight, bool centredHorizontally,
                       bool centredVertically) {
  LinkRect r{old.x, old.y, textWidth, textHeight};
  if (centredHorizontally) r.x = old.x + (old.width - textWidth) / 2;
  if (centredVertically) r.y = old.y + (old.height - textHeight) / 2;
  return r;
}

void LinkModel::Attach(std::string& text) {
  if (url_.empty()) url_ = text;
  if (text.empty()) text = url_;
}

bool LinkModel::ModifyStyle(std::uint32_t remove, std::uint32_t add) {
  if (remove & add) return false;
  style_ = (style_ & ~remove) | add;
  return true;
}

LinkColour LinkModel::Colour() const {
  if (hover_ && Has(link_style::HoverColour)) return HoverLinkColour;
  if (active_ && !Has(link_style::NoActiveColour)) return ActiveLinkColour;
  if (visited_) return VisitedLinkColour;
  return PlainLinkColour;
}

LinkReaction LinkModel::MouseMoved(bool inside) {
  if (inside == hover_) return {};
  hover_ = inside;
  return {.redraw = true};
}

LinkReaction LinkModel::LeftPressed() {
  LinkReaction r{.redraw = true};
  r.takeFocus = Has(link_style::FocusOnPress);
  r.follow = Has(link_style::FollowOnPress);
  active_ = true;
  return r;
}

LinkReaction LinkModel::LeftReleased() { return {.follow = active_ && !Has(link_style::FollowOnPress)}; }

LinkReaction LinkModel::KeyPressed(bool spaceBar) { return {.follow = spaceBar}; }

LinkReaction LinkModel::FocusGained() {
  active_ = true;
  return {.redraw = true};
}

LinkReaction LinkModel::FocusLost() {
  hover_ = false;
  active_ = false;
  return {.redraw = true};
}

std::optional<std::string> LinkModel::Follow(UrlOpener& opener) {
  OpenOutcome outcome = opener.Open(url_);
  if (!outcome.opened) return LinkFailureText(outcome.reason);
  visited_ = true;
  return std::nullopt;
}

}  // namespace zr7
