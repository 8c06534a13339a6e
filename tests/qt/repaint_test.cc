// What the window draws. The cheaper ways of drawing a text box's frame, a
// results cell and the progress bar draw exactly what the style draws; what
// reaches the screen after any series of partial repaints is what a full
// repaint of the window draws; and changes that come back to what the
// window shows repaint nothing.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPaintEvent>
#include <QScreen>
#include <QStyledItemDelegate>

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "qt/support/loopback.h"
#include "qt/support/window_in_folder.h"
#include "support/comma_locale.h"
#include "view/cached_panel_style.h"
#include "view/color_mapping.h"
#include "view/option_ip_view.h"
#include "view/results_table_view.h"
#include "view/text_box_edit.h"
#include "view/window_font.h"
#include "window/colors.h"

namespace rtupoll {
namespace {

using namespace std::chrono_literals;
using testing::WindowInFolder;
using testing::waitUntil;

constexpr Nanos kPatience = 20s;

// How many pixels of the two pictures differ; pictures of different sizes
// differ everywhere.
int differingPixels(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  if (x.size() != y.size()) return x.width() * x.height() + 1;
  int differing = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col)
      if (x.pixel(col, row) != y.pixel(col, row)) ++differing;
  return differing;
}

// The paint events of the window's widget of that name, as the regions
// they repaint.
class PaintSpy : public QObject {
 public:
  PaintSpy(const QWidget& window, const char* name) : watched(window.findChild<QWidget*>(name)) {
    if (watched != nullptr) watched->installEventFilter(this);
  }
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(event)->region());
    return false;
  }
  QWidget* const watched;
  std::vector<QRegion> regions;
};

// A window of the program's font with widgets to compare side by side.
class StyleTest : public ::testing::Test {
 protected:
  StyleTest() {
    // A steady cursor, so that pictures of a focused box compare.
    QApplication::setCursorFlashTime(0);
    top.setFont(windowFont(scale));
    top.resize(900, 300);
    top.show();
    // Until the window has taken the focus it is going to take.
    for (int pass = 0; pass < 100 && !top.isActiveWindow(); ++pass) QApplication::processEvents();
    QApplication::processEvents();
  }
  ~StyleTest() override { QApplication::setCursorFlashTime(flash_time_); }
  // The widget alone in the window, with the focus if asked.
  QImage shot(QWidget* widget, bool focus = false) {
    for (QWidget* other : top.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) other->setVisible(other == widget);
    if (focus)
      widget->setFocus();
    else if (QApplication::focusWidget() != nullptr)
      QApplication::focusWidget()->clearFocus();
    QApplication::processEvents();
    return top.grab(widget->geometry()).toImage();
  }

  int flash_time_ = QApplication::cursorFlashTime();
  QWidget top;
  TwipScale scale{top};
};

TEST_F(StyleTest, ATextBoxFramedFromItsPictureLooksAsTheStyleDrawsIt) {
  const Geometry sizes[] = {{5640, 240, 5895, 405}, {5640, 1320, 855, 285}, {120, 600, 2535, 375}, {2760, 600, 975, 375}};
  const Color backgrounds[] = {colors::kWindowBackground, colors::kGreen, colors::kYellow, colors::kRed};
  for (const Geometry& size : sizes)
    for (const Color background : backgrounds)
      for (const bool enabled : {true, false}) {
        QLineEdit styled(&top);
        TextBoxEdit pictured(&top);
        pictured.setStyle(CachedPanelStyle::instance());
        // The data line's digits drawn from their glyphs, and a text wider
        // than the box, QLineEdit's own.
        const char* text = enabled ? ",1>>,1045,2>>,???" : ",65535>>,40001,-1,2>>,???,11,1111111111111111111";
        for (QLineEdit* edit : {static_cast<QLineEdit*>(&styled), static_cast<QLineEdit*>(&pictured)}) {
          edit->setGeometry(scale.rect(size));
          edit->setText(text);
          QPalette palette = edit->palette();
          palette.setColor(QPalette::Base, toQColor(background, QApplication::palette(edit)));
          edit->setPalette(palette);
          edit->setEnabled(enabled);
        }
        const QImage expected = shot(&styled);
        EXPECT_EQ(differingPixels(shot(&pictured), expected), 0) << size.width << " twips, enabled " << enabled;
        // Drawn again from the picture it made.
        EXPECT_EQ(differingPixels(shot(&pictured), expected), 0);
        const QImage focused = shot(&styled, true);
        EXPECT_EQ(differingPixels(shot(&pictured, true), focused), 0) << size.width << " twips, with the focus";
      }
}

TEST_F(StyleTest, AResultsCellLooksAsTheStyleDrawsIt) {
  ChangeFeed feed;
  ResultsTable model;
  model.setup(&feed, "tabel", {});
  model.setRows(30);
  model.setCols(30);
  model.setColWidth(0, 400);
  model.setRowHeight(300);
  for (int c = 1; c < 20; ++c) model.setColWidth(c, 800);
  const char* texts[] = {"65535",  "0",    "11",           "???", "1>>",       "40001>>", "65535>>",
                         "1045",   "-1,5", "WWWWWWWWWWWW", "ÄÖÜ", "two\nlines", "1111111111111"};
  int next = 0;
  for (int r = 1; r < 30; ++r)
    for (int c = 1; c < 30; ++c) model.setText(r, c, texts[next++ % std::size(texts)]);
  ResultsTableView quick(model, scale, &top);
  ResultsTableView styled(model, scale, &top);
  styled.setItemDelegate(new QStyledItemDelegate(&styled));
  styled.setStyle(nullptr);  // the application's style itself, grid lines and all
  for (ResultsTableView* table : {&quick, &styled}) table->setGeometry(scale.rect({4200, 2400, 9615, 3615}));
  EXPECT_EQ(differingPixels(shot(&quick), shot(&styled)), 0);

  // A selected row, the current cell and a scrolled grid are the style's own.
  const auto scrolled = [&](ResultsTableView* table, bool focus) {
    shot(table, focus);
    table->setCurrentCell(2, 2);
    table->selectRow(3);
    table->scrollToBottom();
    return shot(table, focus);
  };
  EXPECT_EQ(differingPixels(scrolled(&quick, false), scrolled(&styled, false)), 0);
  EXPECT_EQ(differingPixels(scrolled(&quick, true), scrolled(&styled, true)), 0);
  top.setEnabled(false);
  EXPECT_EQ(differingPixels(shot(&quick), shot(&styled)), 0);
  top.setEnabled(true);

  // Under a decimal comma ("1,5"), in the C library and in Qt.
  const testing::CommaLocale comma;
  ASSERT_EQ(comma.missing(), "");
  const std::string before = std::setlocale(LC_ALL, nullptr);
  const QLocale qt_before;
  std::setlocale(LC_ALL, testing::CommaLocale::kName);
  QLocale::setDefault(QLocale(QLocale::Indonesian, QLocale::Indonesia));
  quick.clearSelection();
  styled.clearSelection();
  quick.scrollToTop();
  styled.scrollToTop();
  EXPECT_EQ(differingPixels(shot(&quick), shot(&styled)), 0);
  QLocale::setDefault(qt_before);
  std::setlocale(LC_ALL, before.c_str());
}

class ScreenTest : public ::testing::Test, protected WindowInFolder {
 protected:
  ScreenTest() {
    // A blinking cursor would differ between the screen and a repaint.
    QApplication::setCursorFlashTime(0);
    view.show();
    settle();
  }
  ~ScreenTest() override { QApplication::setCursorFlashTime(flash_time_); }

  // Until the view has caught up with the model and painted it.
  void settle() {
    waitUntil(env, [] { return false; }, 150ms);
    QApplication::processEvents();
  }
  int offScreen() {
    const QImage screen = view.screen()->grabWindow(view.winId()).toImage();
    const QImage full = view.grab().toImage();
    return differingPixels(screen, full);
  }

  int flash_time_ = QApplication::cursorFlashTime();
};

TEST_F(ScreenTest, WhatTheScreenShowsIsWhatAFullRepaintDraws) {
  model.tabel.setRows(30);
  model.tabel.setCols(30);
  for (int value = 0; value <= 1000; value += 53) {
    model.bar[0].setValue(static_cast<float>(value));
    model.txt_print.setText(",1>>," + std::to_string(value * 61) + ",2>>,???");
    model.tabel.setText(1 + value % 7, 2, std::to_string(value));
    model.strReg[static_cast<std::size_t>(value % 5)].setBackColor(value % 2 ? colors::kGreen
                                                                           : colors::kWindowBackground);
    model.lblStatus[static_cast<std::size_t>(value % 3)].setCaption(value % 2 ? "Transmit" : "Received");
    model.lblStatus[static_cast<std::size_t>(value % 3)].setBackColor(value % 2 ? colors::kYellow : colors::kGreen);
    settle();
    ASSERT_EQ(offScreen(), 0) << "after value " << value;
  }
  model.bar[0].setValue(0);
  model.bar[0].setVisible(false);
  settle();
  EXPECT_EQ(offScreen(), 0);
}

TEST_F(ScreenTest, TheBarRepaintsOnlyTheStretchItMovedOver) {
  PaintSpy spy(view, "bar0");
  ASSERT_NE(spy.watched, nullptr);
  for (int value = 10; value <= 970; value += 60) {
    model.bar[0].setValue(static_cast<float>(value));
    settle();
  }
  ASSERT_GE(spy.regions.size(), 10u);
  for (const QRegion& region : spy.regions) EXPECT_LT(region.boundingRect().width(), spy.watched->width() / 4);
  // As QProgressBar does, the bar is repainted once it has moved a chunk,
  // and at either end.
  model.bar[0].setValue(1000);
  settle();
  EXPECT_EQ(offScreen(), 0);
}

TEST_F(ScreenTest, AChangeBackToWhatIsShownRepaintsNothing) {
  PaintSpy spy(view, "lblStatus1");
  auto* label = qobject_cast<QLabel*>(spy.watched);
  ASSERT_NE(label, nullptr);
  // A poll step's "Transmit" and its answer's "Received", both in one pass.
  model.lblStatus[1].setCaption("Transmit");
  model.lblStatus[1].setCaption("Label3");
  settle();
  EXPECT_TRUE(spy.regions.empty());
  model.lblStatus[1].setCaption("Received");
  ASSERT_TRUE(waitUntil(env, [&] { return label->text() == "Received"; }, kPatience));
  QApplication::processEvents();
  EXPECT_FALSE(spy.regions.empty());
}

}  // namespace
}  // namespace rtupoll
