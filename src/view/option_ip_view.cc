#include "view/option_ip_view.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "view/accessible_names.h"
#include "view/cached_panel_style.h"
#include "view/color_mapping.h"
#include "view/results_table_view.h"
#include "view/window_font.h"

namespace rtupoll {

namespace {

using Nanos = RefreshPolicy::Nanos;

Nanos monotonicNow() { return std::chrono::steady_clock::now().time_since_epoch(); }

QString qt(const std::string& utf8) { return QString::fromStdString(utf8); }

// Widgets of a control array are named like the control with its index
// ("txtIP0"), so that they can be found by name.
QString indexed(const Control& control, std::size_t index) {
  return qt(control.name()) + QString::number(index);
}

// Sets one colour of the widget's palette, only when it differs: a new
// palette repaints the widget and all its children.
void setPaletteColor(QWidget* widget, QPalette::ColorRole role, Color color) {
  const QColor shown = toQColor(color, QApplication::palette(widget));
  if (widget->palette().color(role) == shown) return;
  QPalette palette = widget->palette();
  palette.setColor(role, shown);
  widget->setPalette(palette);
}

// Compared with the widget's own flags, not with what a disabled or hidden
// frame makes of them.
void copyEnabledAndVisible(const Control& control, QWidget* widget) {
  if (widget->isEnabledTo(widget->parentWidget()) != control.enabled()) widget->setEnabled(control.enabled());
  if (widget->isVisibleTo(widget->parentWidget()) != control.visible()) widget->setVisible(control.visible());
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
  nameForScreenReaders(*this);

  // Everything once, whatever its revision, then only what changes.
  for (const Mirror& m : mirrors_) m.copy(0);
  seen_ = checked_ = w_.feed().revision();
  connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this,
          &OptionIPView::settle);
}

OptionIPView::~OptionIPView() { showPointer(Form::kDefaultPointer); }

void OptionIPView::refresh() {
  refresh_timer_.stop();
  armed_for_.reset();
  policy_.refreshed();
  const std::uint64_t since = seen_;
  seen_ = checked_ = w_.feed().revision();
  for (const Mirror& m : mirrors_)
    if (m.control->revision() > since) m.copy(since);
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
    policy_.changed(now, settling);
  }
  const Nanos due = *policy_.due();
  if (due <= now) {
    refresh();
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
  event->accept();
}

QWidget* OptionIPView::parentFor(const Control& control) {
  if (control.parent() == nullptr) return this;
  return frames_.at(control.parent());
}

void OptionIPView::addMirror(const Control& control, QWidget* widget, const QString& name,
                             std::function<void()> copy) {
  widget->setObjectName(name);
  widget->setGeometry(scale_.rect(control.geometry()));
  mirrors_.push_back({&control, [&control, widget, copy = std::move(copy)](std::uint64_t) {
                        copyEnabledAndVisible(control, widget);
                        copy();
                      }});
}

void OptionIPView::mirrorForm() {
  const Form& form = w_.form;
  setObjectName(qt(form.name()));
  // The operator may resize the window; the controls keep their places.
  resize(scale_.x(form.geometry().width), scale_.y(form.geometry().height));
  mirrors_.push_back({&form, [this, &form](std::uint64_t) {
                        const QString title = qt(form.caption());
                        if (windowTitle() != title) setWindowTitle(title);
                        showPointer(form.mousePointer());
                      }});
}

void OptionIPView::showPointer(int pointer) {
  // The wait pointer is on or off, however often a nested wait sets it.
  const bool wait = pointer == Form::kWaitPointer;
  if (wait == wait_cursor_) return;
  wait_cursor_ = wait;
  if (wait)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void OptionIPView::mirrorFrame(const Frame& frame, const QString& name) {
  auto* box = new QGroupBox(parentFor(frame));
  frames_[&frame] = box;
  addMirror(frame, box, name, [box, &frame] {
    const QString title = qt(frame.caption());
    if (box->title() != title) box->setTitle(title);
  });
}

void OptionIPView::mirrorLabel(const Label& label, const QString& name) {
  auto* widget = new QLabel(parentFor(label));
  widget->setTextFormat(Qt::PlainText);
  widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  widget->setAutoFillBackground(true);
  addMirror(label, widget, name, [widget, &label] {
    const QString caption = qt(label.caption());
    if (widget->text() != caption) widget->setText(caption);
    setPaletteColor(widget, QPalette::Window, label.backColor());
  });
}

void OptionIPView::mirrorTextBox(TextBox& box, const QString& name) {
  auto* edit = new QLineEdit(parentFor(box));
  edit->setStyle(CachedPanelStyle::instance());
  connect(edit, &QLineEdit::textEdited, this, [&box](const QString& text) { box.setText(text.toStdString()); });
  addMirror(box, edit, name, [edit, &box] {
    // Rewriting an equal text would move the operator's cursor.
    const QString text = qt(box.text());
    if (edit->text() != text) edit->setText(text);
    setPaletteColor(edit, QPalette::Base, box.backColor());
  });
}

void OptionIPView::mirrorButton(Button& button, const QString& name) {
  auto* push = new QPushButton(parentFor(button));
  // The handler may keep the event loop running for a while (a connect
  // waits up to two seconds); the window stays live meanwhile.
  connect(push, &QPushButton::clicked, this, [&button] { button.click(); });
  addMirror(button, push, name, [push, &button] {
    const QString caption = qt(button.caption());
    if (push->text() != caption) push->setText(caption);
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
  connect(widget->lineEdit(), &QLineEdit::textEdited, this,
          [&combo, widget](const QString& text) { combo.setListIndex(widget->findText(text)); });
  addMirror(combo, widget, name, [widget, &combo] {
    QStringList items;
    for (const std::string& item : combo.items()) items << qt(item);
    bool same_items = widget->count() == items.size();
    for (int i = 0; same_items && i < items.size(); ++i) same_items = widget->itemText(i) == items[i];
    if (!same_items) {
      widget->clear();
      widget->addItems(items);
    }
    // What the entry field shows is the choice: a typed text that names no
    // entry is no choice at all.
    const int index = combo.listIndex();
    if (!same_items || widget->findText(widget->currentText()) != index) {
      widget->setCurrentIndex(index);
      widget->setEditText(widget->itemText(index));
    }
  });
}

void OptionIPView::mirrorProgressBar(const ProgressBar& bar, const QString& name) {
  auto* widget = new QProgressBar(parentFor(bar));
  widget->setRange(bar.minimum(), bar.maximum());
  widget->setTextVisible(false);
  addMirror(bar, widget, name, [widget, &bar] {
    const int value = static_cast<int>(std::lround(bar.value()));
    if (widget->value() != value) widget->setValue(value);
  });
}

void OptionIPView::mirrorTable(const ResultsTable& table) {
  auto* grid = new ResultsTableView(table, scale_, parentFor(table));
  grid->setObjectName(qt(table.name()));
  grid->setGeometry(scale_.rect(table.geometry()));
  mirrors_.push_back({&table, [grid, &table](std::uint64_t since) {
                        copyEnabledAndVisible(table, grid);
                        grid->copyFrom(since);
                      }});
}

}  // namespace rtupoll
