#include "view/option_ip_view.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "view/accessible_names.h"
#include "view/cached_panel_style.h"
#include "view/color_mapping.h"
#include "view/progress_bar_view.h"
#include "view/results_table_view.h"
#include "view/text_box_edit.h"
#include "view/widget_sync.h"
#include "view/window_font.h"

namespace rtupoll {

namespace {

using Nanos = RefreshPolicy::Nanos;

Nanos monotonicNow() { return std::chrono::steady_clock::now().time_since_epoch(); }

QString qt(const std::string& utf8) { return QString::fromStdString(utf8); }

// A message about a failed save closes by itself after this long.
constexpr auto kUnansweredMessage = std::chrono::seconds(60);

// A zero-width space after each path separator: a line may break there.
std::string breakableAfterSeparators(const std::string& text) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '/' || c == '\\') out += "\u200B";
  }
  return out;
}

// Stands for "no entry shown" when the entries themselves are about to change.
constexpr int kNoChoiceShown = -2;

// Widgets of a control array are named like the control with its index
// ("txtIP0"), so that they can be found by name.
QString indexed(const Control& control, std::size_t index) {
  return qt(control.name()) + QString::number(index);
}

// A text and one colour of the palette, each set only when it differs:
// rewriting an equal text would move the operator's cursor, and a new
// palette repaints the widget and all its children.
template <typename W>
void syncTextAndColor(WidgetSync& sync, W* widget, const std::string& text, QPalette::ColorRole role, Color color) {
  sync(widget->text(), qt(text), [widget](const QString& wanted) { widget->setText(wanted); });
  sync(widget->palette().color(role), toQColor(color, QApplication::palette(widget)),
       [widget, role](const QColor& wanted) {
         QPalette palette = widget->palette();
         palette.setColor(role, wanted);
         widget->setPalette(palette);
       });
}

// Compared with the widget's own flags, not with what a disabled or hidden
// frame makes of them.
void syncEnabledAndVisible(WidgetSync& sync, const Control& control, QWidget* widget) {
  sync(widget->isEnabledTo(widget->parentWidget()), control.enabled(), [widget](bool on) { widget->setEnabled(on); });
  sync(widget->isVisibleTo(widget->parentWidget()), control.visible(), [widget](bool on) { widget->setVisible(on); });
}

}  // namespace

OptionIPView::OptionIPView(OptionIP& w, WindowEvents& events, QWidget* parent)
    : QWidget(parent), w_(w), events_(events), scale_(*this) {
  refresh_timer_.setSingleShot(true);
  refresh_timer_.setTimerType(Qt::PreciseTimer);
  connect(&refresh_timer_, &QTimer::timeout, this, [this] {
    armed_for_.reset();
    settle();
  });
  setFont(windowFont(scale_));

  mirrorForm();
  mirrorLabel(w.Label4, qt(w.Label4.name()));
  mirrorProgressBar(w.bar[0], indexed(w.bar[0], 0));
  for (std::size_t i = 0; i < kSlots; ++i) {
    mirrorFrame(w.frmDevice[i], indexed(w.frmDevice[i], i));
    mirrorLabel(w.Label1[i], indexed(w.Label1[i], i));
    mirrorTextBox(w.txtIP[i], indexed(w.txtIP[i], i));
    mirrorLabel(w.Label2[i], indexed(w.Label2[i], i));
    mirrorTextBox(w.txtPort[i], indexed(w.txtPort[i], i));
    mirrorLabel(w.lblStatus[i], indexed(w.lblStatus[i], i));
    mirrorButton(w.cmdConnect[i], indexed(w.cmdConnect[i], i));
    mirrorButton(w.cmdDisconnect[i], indexed(w.cmdDisconnect[i], i));
  }
  mirrorLabel(w.lb_file, qt(w.lb_file.name()));
  mirrorTextBox(w.txt_print, qt(w.txt_print.name()));
  mirrorLabel(w.Label5, qt(w.Label5.name()));
  for (std::size_t k = 0; k < w.Label3.size(); ++k) mirrorLabel(w.Label3[k], indexed(w.Label3[k], k));
  for (std::size_t r = 0; r < kReadDefs; ++r) {
    mirrorComboBox(w.LstIP[r], indexed(w.LstIP[r], r));
    mirrorTextBox(w.strReg[r], indexed(w.strReg[r], r));
    mirrorTextBox(w.LegReg[r], indexed(w.LegReg[r], r));
  }
  mirrorButton(w.cmdConnectDev, qt(w.cmdConnectDev.name()));
  mirrorButton(w.cmdRead, qt(w.cmdRead.name()));
  mirrorTable(w.tabel);
  mirrorNotice(w.lblFileNotice);
  nameForScreenReaders(*this);
  // The window opens with no box of its own chosen: the first box in the
  // tab order is the data line, which the program rewrites every second,
  // and a caret blinking there would only invite typing that is lost a
  // second later. Tab or a click chooses a box as usual.
  setFocus(Qt::OtherFocusReason);

  // Everything once, whatever its revision, then only what changes.
  WidgetSync everything(WidgetSync::Mode::kApply);
  for (const Mirror& m : mirrors_) m.sync(everything, 0);
  seen_ = checked_ = w_.feed().revision();
  connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this,
          &OptionIPView::settle);
}

OptionIPView::~OptionIPView() {
  if (wait_cursor_) showWaitPointer(false);
}

void OptionIPView::refresh() {
  refresh_posted_ = false;
  refresh_timer_.stop();
  armed_for_.reset();
  policy_.refreshed();
  const std::uint64_t since = seen_;
  seen_ = checked_ = w_.feed().revision();
  WidgetSync apply(WidgetSync::Mode::kApply);
  for (const Mirror& m : mirrors_)
    if (m.control->revision() > since) m.sync(apply, since);
}

// No reload or poll step to come and no answer awaited: the model stays as
// it is until a tick of a one-second clock, so waiting for quiet would only
// cost a wake-up of its own.
bool OptionIPView::unshown() const {
  WidgetSync compare(WidgetSync::Mode::kCompare);
  for (const Mirror& m : mirrors_) {
    if (m.control->revision() > seen_) m.sync(compare, seen_);
    if (compare.differs()) return true;
  }
  return false;
}

// The handlers of this pass of the event loop are done: what they changed
// is noted, and the refresh runs now if it is due, or else a timer is armed
// for it (a wake-up of its own only if nothing else comes first).
void OptionIPView::settle() {
  const std::uint64_t revision = w_.feed().revision();
  if (revision == checked_ && !policy_.due()) return;
  const Nanos now = monotonicNow();
  if (revision != checked_) {
    const ProgressBar& bar = w_.bar[0];
    const bool settling = std::any_of(mirrors_.begin(), mirrors_.end(), [this, &bar](const Mirror& m) {
      return m.control != &bar && m.control->revision() > checked_;
    });
    checked_ = revision;
    // Changes that only came back to what the window shows need no refresh.
    if (!unshown()) {
      seen_ = revision;
      policy_.refreshed();
      refresh_timer_.stop();
      armed_for_.reset();
      return;
    }
    policy_.changed(now, settling);
  }
  const Nanos due = *policy_.due();
  if (due <= now || w_.atRest()) {
    // As an event of its own: whoever waits for the next event sees it.
    if (!refresh_posted_) QMetaObject::invokeMethod(this, &OptionIPView::refresh, Qt::QueuedConnection);
    refresh_posted_ = true;
  } else if (armed_for_ != due) {
    armed_for_ = due;
    refresh_timer_.start(std::chrono::ceil<std::chrono::milliseconds>(due - now));
  }
}

void OptionIPView::showEvent(QShowEvent* event) {
  refresh();
  QWidget::showEvent(event);
}

void OptionIPView::closeEvent(QCloseEvent* event) {
  events_.unload();
  // Only a close from the window system (the close button, Alt+F4) has an
  // operator behind it; a quit signal or the session's end closes at once.
  if (event->spontaneous() && !unattended_ && !w_.settingsNotSaved.empty()) tellUnsaved();
  event->accept();
}

void OptionIPView::tellUnsaved() {
  QMessageBox box(QMessageBox::Warning, windowTitle(), qt(w_.settingsNotSaved), QMessageBox::Ok, this);
  box.setObjectName("settingsNotSaved");
  // A close that nobody watches (a script's WM_CLOSE) still ends.
  QTimer::singleShot(kUnansweredMessage, &box, &QMessageBox::accept);
  message_ = &box;
  box.exec();
}

void OptionIPView::closeUnattended() {
  unattended_ = true;
  if (message_) message_->accept();
  close();
}

void OptionIPView::bringToFront() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

QWidget* OptionIPView::parentFor(const Control& control) {
  if (control.parent() == nullptr) return this;
  return frames_.at(control.parent());
}

void OptionIPView::addMirror(const Control& control, QWidget* widget, const QString& name,
                             std::function<void(WidgetSync&)> sync) {
  widget->setObjectName(name);
  widget->setGeometry(scale_.rect(control.geometry()));
  mirrors_.push_back({&control, [&control, widget, sync = std::move(sync)](WidgetSync& s, std::uint64_t) {
                        syncEnabledAndVisible(s, control, widget);
                        sync(s);
                      }});
}

void OptionIPView::mirrorForm() {
  const Form& form = w_.form;
  setObjectName(qt(form.name()));
  // The operator may resize the window; the controls keep their places.
  resize(scale_.x(form.geometry().width), scale_.y(form.geometry().height));
  mirrors_.push_back({&form, [this, &form](WidgetSync& s, std::uint64_t) {
                        s(windowTitle(), qt(form.caption()), [this](const QString& title) { setWindowTitle(title); });
                        // The wait pointer is on or off, however often a nested wait sets it.
                        s(wait_cursor_, form.mousePointer() == Form::kWaitPointer, [this](bool wait) { showWaitPointer(wait); });
                      }});
}

void OptionIPView::showWaitPointer(bool wait) {
  wait_cursor_ = wait;
  if (wait)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void OptionIPView::mirrorFrame(const Frame& frame, const QString& name) {
  auto* box = new QGroupBox(parentFor(frame));
  frames_[&frame] = box;
  addMirror(frame, box, name, [box, &frame](WidgetSync& s) {
    s(box->title(), qt(frame.caption()), [box](const QString& title) { box->setTitle(title); });
  });
}

void OptionIPView::mirrorLabel(const Label& label, const QString& name) {
  auto* widget = new QLabel(parentFor(label));
  widget->setTextFormat(Qt::PlainText);
  widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  widget->setAutoFillBackground(true);
  addMirror(label, widget, name, [widget, &label](WidgetSync& s) {
    syncTextAndColor(s, widget, label.caption(), QPalette::Window, label.backColor());
  });
}

// Not one of the original controls: a notice that wraps, also inside a
// path, which has no blanks to break at, so all of it stays in its space.
void OptionIPView::mirrorNotice(const Label& notice) {
  auto* widget = new QLabel(parentFor(notice));
  widget->setTextFormat(Qt::PlainText);
  widget->setWordWrap(true);
  widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  widget->setAutoFillBackground(true);
  widget->setFrameShape(QFrame::Box);
  addMirror(notice, widget, qt(notice.name()), [widget, &notice](WidgetSync& s) {
    syncTextAndColor(s, widget, breakableAfterSeparators(notice.caption()), QPalette::Window, notice.backColor());
  });
}

void OptionIPView::mirrorTextBox(TextBox& box, const QString& name) {
  auto* edit = new TextBoxEdit(parentFor(box));
  edit->setStyle(CachedPanelStyle::instance());
  connect(edit, &QLineEdit::textEdited, this, [&box](const QString& text) { box.setText(text.toStdString()); });
  addMirror(box, edit, name, [edit, &box](WidgetSync& s) {
    syncTextAndColor(s, edit, box.text(), QPalette::Base, box.backColor());
  });
}

void OptionIPView::mirrorButton(Button& button, const QString& name) {
  auto* push = new QPushButton(parentFor(button));
  // The handler may keep the event loop running for a while (a connect
  // waits up to two seconds); the window stays live meanwhile.
  connect(push, &QPushButton::clicked, this, [&button] { button.click(); });
  addMirror(button, push, name, [push, &button](WidgetSync& s) {
    s(push->text(), qt(button.caption()), [push](const QString& caption) { push->setText(caption); });
  });
}

void OptionIPView::mirrorComboBox(ComboBox& combo, const QString& name) {
  auto* widget = new QComboBox(parentFor(combo));
  widget->setEditable(true);
  // The entries are fixed: Enter must not add the typed text as a new one,
  // and no completion may show an entry the operator did not type.
  widget->setInsertPolicy(QComboBox::NoInsert);
  widget->setCompleter(nullptr);
  connect(widget, &QComboBox::activated, this, [&combo](int index) { combo.setListIndex(index); });
  // A typed text that names an entry in another letter case, or with blanks
  // around it, chooses that entry and shows it as written.
  connect(widget->lineEdit(), &QLineEdit::textEdited, this, [&combo, widget](const QString& text) {
    const int index = combo.entryNamed(text.toStdString());
    combo.setListIndex(index);
    if (index >= 0 && widget->itemText(index) != text) widget->setEditText(widget->itemText(index));
  });
  addMirror(combo, widget, name, [widget, &combo](WidgetSync& s) {
    QStringList items;
    for (const std::string& item : combo.items()) items << qt(item);
    bool same_items = widget->count() == items.size();
    for (int i = 0; same_items && i < items.size(); ++i) same_items = widget->itemText(i) == items[i];
    s(same_items, true, [widget, &items](bool) {
      widget->clear();
      widget->addItems(items);
    });
    // What the entry field shows is the choice: a typed text that names no
    // entry is no choice at all. New entries are chosen anew.
    const int shown = same_items ? widget->findText(widget->currentText()) : kNoChoiceShown;
    s(shown, combo.listIndex(), [widget](int index) {
      widget->setCurrentIndex(index);
      widget->setEditText(widget->itemText(index));
    });
  });
}

void OptionIPView::mirrorProgressBar(const ProgressBar& bar, const QString& name) {
  auto* widget = new ProgressBarView(parentFor(bar));
  widget->setRange(bar.minimum(), bar.maximum());
  widget->setTextVisible(false);
  addMirror(bar, widget, name, [widget, &bar](WidgetSync& s) {
    s(widget->value(), static_cast<int>(std::lround(bar.value())), [widget](int value) { widget->showValue(value); });
  });
}

void OptionIPView::mirrorTable(const ResultsTable& table) {
  auto* grid = new ResultsTableView(table, scale_, parentFor(table));
  grid->setObjectName(qt(table.name()));
  grid->setGeometry(scale_.rect(table.geometry()));
  mirrors_.push_back({&table, [grid, &table](WidgetSync& s, std::uint64_t since) {
                        syncEnabledAndVisible(s, table, grid);
                        grid->syncFrom(s, since);
                      }});
}

}  // namespace rtupoll
