#pragma once
// TQuirePasswordDialog: what the password dialog does, apart from how it
// is drawn. The program shows it through a small view of its own (a Qt
// dialog in app/); tests drive it directly. The view calls the handlers
// below for the user's actions and reads the enabling state after each.
//
//   caption "Enter password", a group "Password" with the edit box (one
//   "*" per character) and "&Add", "&Remove", "Re&move all"; below them
//   "&OK" (default) and "Cancel" (cancel button).

#include <string>
#include <string_view>

namespace quire {

class TQuireSession;

class TQuirePasswordDialog {
 public:
  static constexpr std::string_view kCaption = "Enter password";
  static constexpr std::string_view kGroupCaption = "Password";
  static constexpr std::string_view kAddCaption = "&Add";
  static constexpr std::string_view kRemoveCaption = "&Remove";
  static constexpr std::string_view kRemoveAllCaption = "Re&move all";
  static constexpr std::string_view kOkCaption = "&OK";
  static constexpr std::string_view kCancelCaption = "Cancel";
  static constexpr int kClientWidth = 273;
  static constexpr int kClientHeight = 132;

  explicit TQuirePasswordDialog(TQuireSession& session) : session_(session) {}

  TQuireSession& Session() { return session_; }

  // The edit box's text as the dialog knows it; the view shows it and puts
  // the focus back in the box after each button.
  const std::string& Text() const { return text_; }
  bool OkEnabled() const { return !text_.empty() || added_; }
  bool AddEnabled() const { return !text_.empty(); }
  bool RemoveEnabled() const { return !text_.empty(); }

  void TextChanged(std::string_view text) { text_ = text; }
  // Registers the text, empties the box.
  void Add();
  // Unregisters the text, empties the box.
  void Remove();
  // Clears every password of the session.
  void RemoveAll();
  // Registers the text (an empty one is ignored); the dialog closes with OK.
  void Ok();

 private:
  TQuireSession& session_;
  std::string text_;
  bool added_ = false;
};

}  // namespace quire
