#pragma once

// The window's controls as plain state objects. The logic reads and writes
// them; a front end (the Qt view, or a test) mirrors them. Every change
// bumps a revision number taken from the window-wide ChangeFeed, so a view
// can copy just what changed since its last look, as often as it likes.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "window/colors.h"

namespace rtupoll {

// Positions and sizes in twips (1/1440 inch), from the top left corner of
// the client area, or of the enclosing frame for a frame's members.
struct Geometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class ChangeFeed {
 public:
  std::uint64_t revision() const { return revision_; }
  std::uint64_t next() {
    ++revision_;
    if (listener_) listener_();
    return revision_;
  }
  // Called after every change; a view uses it to schedule a refresh.
  void setListener(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  std::uint64_t revision_ = 0;
  std::function<void()> listener_;
};

class Control {
 public:
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  void setup(ChangeFeed* feed, std::string name, Geometry geometry, const Control* parent = nullptr) {
    feed_ = feed;
    name_ = std::move(name);
    geometry_ = geometry;
    parent_ = parent;
  }

  const std::string& name() const { return name_; }
  const Geometry& geometry() const { return geometry_; }
  const Control* parent() const { return parent_; }
  std::uint64_t revision() const { return revision_; }

  bool enabled() const { return enabled_; }
  void setEnabled(bool on) { assign(enabled_, on); }
  bool visible() const { return visible_; }
  void setVisible(bool on) { assign(visible_, on); }
  // Takes input only while it and every enclosing frame are enabled and visible.
  bool takesInput() const { return enabled_ && visible_ && (parent_ == nullptr || parent_->takesInput()); }

 protected:
  template <typename T>
  void assign(T& field, const T& value) {
    if (field == value) return;
    field = value;
    touch();
  }
  void touch() {
    if (feed_ != nullptr) revision_ = feed_->next();
  }

 private:
  ChangeFeed* feed_ = nullptr;
  std::string name_;
  Geometry geometry_;
  const Control* parent_ = nullptr;
  std::uint64_t revision_ = 0;
  bool enabled_ = true;
  bool visible_ = true;
};

// A control that shows one text on a background of a colour of its own:
// a label's caption, a text box's text.
class TextControl : public Control {
 public:
  Color backColor() const { return back_color_; }
  void setBackColor(Color color) { assign(back_color_, color); }

 protected:
  explicit TextControl(Color initial_background) : back_color_(initial_background) {}
  const std::string& shownText() const { return text_; }
  void setShownText(const std::string& text) { assign(text_, text); }

 private:
  std::string text_;
  Color back_color_;
};

class Label : public TextControl {
 public:
  Label() : TextControl(colors::kButtonFace) {}
  const std::string& caption() const { return shownText(); }
  void setCaption(const std::string& caption) { setShownText(caption); }
  // A caption with the background it is shown on: a status label's outcome.
  void setCaption(const std::string& caption, Color background) {
    setCaption(caption);
    setBackColor(background);
  }
};

class Frame : public Label {};

class TextBox : public TextControl {
 public:
  TextBox() : TextControl(colors::kWindowBackground) {}
  const std::string& text() const { return shownText(); }
  void setText(const std::string& text) { setShownText(text); }
};

class Button : public Control {
 public:
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& caption) { assign(caption_, caption); }
  void setOnClick(std::function<void()> handler) { on_click_ = std::move(handler); }
  // A click from the operator: runs the handler only if the button takes input.
  bool click() {
    if (!takesInput() || !on_click_) return false;
    on_click_();
    return true;
  }

 private:
  std::string caption_;
  std::function<void()> on_click_;
};

class ComboBox : public Control {
 public:
  const std::vector<std::string>& items() const { return items_; }
  void setItems(std::vector<std::string> items) { assign(items_, items); }
  // -1 when no entry is chosen.
  int listIndex() const { return list_index_; }
  // An index that names no entry is refused and the choice kept.
  void setListIndex(int index) {
    if (index >= -1 && index < static_cast<int>(items_.size())) assign(list_index_, index);
  }
  // The entry a typed text names, letter case and surrounding blanks
  // aside ("-c " is "-C"); -1 when it names none.
  int entryNamed(std::string_view typed) const {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!typed.empty() && blank(typed.front())) typed.remove_prefix(1);
    while (!typed.empty() && blank(typed.back())) typed.remove_suffix(1);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (std::ranges::equal(items_[i], typed, {}, lower, lower)) return static_cast<int>(i);
    return -1;
  }

 private:
  std::vector<std::string> items_;
  int list_index_ = -1;
};

class ProgressBar : public Control {
 public:
  int minimum() const { return 0; }
  int maximum() const { return 1000; }
  float value() const { return value_; }
  // A value outside the range is refused and the bar keeps its value.
  void setValue(float value) {
    if (value >= static_cast<float>(minimum()) && value <= static_cast<float>(maximum())) assign(value_, value);
  }

 private:
  float value_ = 0;
};

}  // namespace rtupoll
