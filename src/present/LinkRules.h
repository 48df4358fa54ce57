#pragma once
// What a hyperlink of the About box decides, apart from its widget: its colour in each state,
// its style bits, how it reacts to the mouse, the keyboard and the focus, where it moves when it
// fits its text, and the texts shown when its target cannot be opened. The widget only turns
// toolkit events into the calls below and paints what they say.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zr7 {

// Link style bits.
namespace link_style {
inline constexpr std::uint32_t Underline = 1;
inline constexpr std::uint32_t HoverColour = 2;
inline constexpr std::uint32_t FitToText = 4;
inline constexpr std::uint32_t FollowOnPress = 8;  // instead of on release
inline constexpr std::uint32_t FocusOnPress = 16;
inline constexpr std::uint32_t NoHandCursor = 32;
inline constexpr std::uint32_t NoActiveColour = 64;
inline constexpr std::uint32_t Default = Underline | FitToText | FocusOnPress;
}  // namespace link_style

struct LinkColour {
  int red = 0, green = 0, blue = 0;
  friend bool operator==(const LinkColour&, const LinkColour&) = default;
};

inline constexpr LinkColour HoverLinkColour{255, 0, 0};
inline constexpr LinkColour ActiveLinkColour{0, 128, 128};
inline constexpr LinkColour VisitedLinkColour{128, 0, 128};
inline constexpr LinkColour PlainLinkColour{0, 0, 255};

// The outcome of asking the platform to open a URL: the reason is shown when it failed.
struct OpenOutcome {
  bool opened = false;
  std::string reason;
};

// Opens link targets. The desktop program starts the platform's opener; tests record the URLs.
class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  virtual OpenOutcome Open(const std::string& url) = 0;
};

// The reason for an opener error code, as the box shows it; English in both languages.
std::string OpenErrorReason(int code);
// The reason for an exit code of xdg-open: 2 means the target is missing, 3 that no program
// handles it (the closest codes of the table above); any other code is reported as unknown.
// Call it for failures only: exit code 0 is success.
std::string XdgOpenExitReason(int exitCode);
// The reason when xdg-open could not be started at all: there is nothing on this system to
// open the link with, which the operator fixes as a missing file.
std::string XdgOpenMissingReason();
// A URL that would reach xdg-open as an option rather than a target is not passed on; its
// refusal reason, or nothing when the URL may go.
std::optional<std::string> XdgOpenRefusal(std::string_view url);
// The text of the box shown when a link could not be opened.
std::string LinkFailureText(std::string_view reason);

struct LinkRect {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const LinkRect&, const LinkRect&) = default;
};

// The control's new place when it fits a text of this size: its corner stays unless the text is
// centred in that direction, in which case the new rectangle is centred on the old one.
LinkRect FitLinkToText(const LinkRect& old, int textWidth, int textHeight, bool centredHorizontally,
                       bool centredVertically);

// What the widget must do after an event.
struct LinkReaction {
  bool redraw = false;
  bool takeFocus = false;  // before following, so the focus rules apply first
  bool follow = false;
};

// A link's URL, style and states.
class LinkModel {
 public:
  // Attachment: an empty URL becomes the shown text, an empty text becomes the URL.
  void Attach(std::string& text);

  const std::string& Url() const { return url_; }
  void SetUrl(std::string url) { url_ = std::move(url); }

  std::uint32_t Style() const { return style_; }
  bool Has(std::uint32_t bits) const { return (style_ & bits) == bits; }
  // Removes then adds bits; refused (false, nothing changed) when the two masks overlap.
  bool ModifyStyle(std::uint32_t remove, std::uint32_t add);

  bool Hover() const { return hover_; }
  bool Active() const { return active_; }
  bool Visited() const { return visited_; }
  LinkColour Colour() const;

  LinkReaction MouseMoved(bool inside);
  LinkReaction LeftPressed();
  LinkReaction LeftReleased();
  LinkReaction KeyPressed(bool spaceBar);
  LinkReaction FocusGained();
  LinkReaction FocusLost();

  // Opens the URL; on success the link counts as visited, on failure the box text is returned.
  std::optional<std::string> Follow(UrlOpener& opener);

 private:
  std::string url_;
  std::uint32_t style_ = link_style::Default;
  bool hover_ = false;
  bool active_ = false;
  bool visited_ = false;
};

}  // namespace zr7
