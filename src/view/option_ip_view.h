#pragma once

// The window OptionIP on screen. The model (OptionIP) holds every control's
// state; this widget only mirrors it and hands the operator's typing,
// choices and clicks back to it. Each time the event loop is about to wait,
// the view notes whether the model changed; a refresh, which copies just the
// controls that changed since the last one, follows when RefreshPolicy says
// so: in the same pass when it is due, otherwise from a timer armed for
// that moment, which other events may well overtake. When the model is at
// rest (a poll cycle has ended) it follows at once, and when the changes
// came back to what the window shows, not at all.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "app/window_events.h"
#include "view/refresh_policy.h"
#include "view/twips.h"
#include "view/widget_sync.h"
#include "window/option_ip.h"

class QMessageBox;

namespace rtupoll {

class OptionIPView : public QWidget {
  Q_OBJECT

 public:
  // The model and its event table must outlive the view.
  OptionIPView(OptionIP& w, WindowEvents& events, QWidget* parent = nullptr);
  ~OptionIPView() override;

  // Copies every change of the model since the last refresh into the widgets.
  void refresh();
  // Closes the window for a quit signal or the end of the session: nobody
  // may be there to answer, so nothing is asked, and a message already on
  // screen goes.
  void closeUnattended();
  // Brings the window to the front, for a second start from its folder.
  void bringToFront();

 protected:
  void showEvent(QShowEvent* event) override;
  // Runs shut-down and always lets the window close.
  void closeEvent(QCloseEvent* event) override;

 private:
  // Brings the widgets of one control to the model, or only compares them:
  // whatever changed after revision `since`.
  struct Mirror {
    const Control* control;
    std::function<void(WidgetSync&, std::uint64_t since)> sync;
  };

  void mirrorForm();
  void mirrorFrame(const Frame& frame, const QString& name);
  void mirrorLabel(const Label& label, const QString& name);
  void mirrorNotice(const Label& notice);
  // After a close the operator asked for: what shut-down could not save.
  void tellUnsaved();
  void mirrorTextBox(TextBox& box, const QString& name);
  void mirrorButton(Button& button, const QString& name);
  void mirrorComboBox(ComboBox& combo, const QString& name);
  void mirrorProgressBar(const ProgressBar& bar, const QString& name);
  void mirrorTable(const ResultsTable& table);

  // Places the widget at the control's geometry, inside its frame if it has
  // one, and mirrors enabled and visible as well as what `sync` looks at.
  void addMirror(const Control& control, QWidget* widget, const QString& name,
                 std::function<void(WidgetSync&)> sync);
  QWidget* parentFor(const Control& control);
  // Runs whenever the event loop is about to wait.
  void settle();
  // Whether a refresh now would change any widget.
  bool unshown() const;
  void showWaitPointer(bool wait);

  OptionIP& w_;
  WindowEvents& events_;
  TwipScale scale_;
  std::map<const Control*, QWidget*> frames_;
  std::vector<Mirror> mirrors_;
  RefreshPolicy policy_;
  QTimer refresh_timer_;
  std::optional<RefreshPolicy::Nanos> armed_for_;
  bool refresh_posted_ = false;
  std::uint64_t seen_ = 0;     // the model's revision at the last refresh
  std::uint64_t checked_ = 0;  // and when the loop last waited
  bool wait_cursor_ = false;
  bool unattended_ = false;
  QPointer<QMessageBox> message_;
};

}  // namespace rtupoll
