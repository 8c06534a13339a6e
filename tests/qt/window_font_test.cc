// The window keeps a font of its own, sized for its twips layout, whatever
// the desktop's font: every caption, status text and register caption fits
// its control. ctest runs these again at 192 dpi, both as Qt scales a
// high-resolution screen (two device pixels to a pixel) and as a logical
// resolution of 192 with that scaling off.

#include "view/window_font.h"

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <fstream>

#include "qt/support/window_in_folder.h"
#include "support/setting_ini.h"
#include "view/option_ip_view.h"

namespace rtupoll {
namespace {

using testing::WindowInFolder;

// A desktop with a 12-point font, for as long as the test runs.
class LargeDesktopFont {
 public:
  LargeDesktopFont() : saved_(QApplication::font()) {
    QFont large("DejaVu Sans");
    large.setPointSize(12);
    QApplication::setFont(large);
  }
  ~LargeDesktopFont() { QApplication::setFont(saved_); }
  LargeDesktopFont(const LargeDesktopFont&) = delete;
  LargeDesktopFont& operator=(const LargeDesktopFont&) = delete;

 private:
  QFont saved_;
};

// The control's name, or its owner's for a part such as a combo box's entry field.
std::string controlName(const QWidget* widget) {
  const QWidget* named = widget;
  while (named->objectName().isEmpty() && named->parentWidget() != nullptr) named = named->parentWidget();
  return named->objectName().toStdString();
}

::testing::AssertionResult fits(const QWidget* widget, const QString& text, const QRect& room) {
  const QFontMetrics metrics(widget->font());
  const int width = metrics.horizontalAdvance(text);
  if (width <= room.width() && metrics.height() <= room.height()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << '"' << text.toStdString() << "\" needs " << width << 'x' << metrics.height()
                                       << " px, " << controlName(widget) << " has " << room.width()
                                       << 'x' << room.height();
}

::testing::AssertionResult labelFits(const QLabel* label) {
  const int inset = label->margin() + std::max(label->indent(), 0);
  return fits(label, label->text(), label->contentsRect().adjusted(inset, 0, -inset, 0));
}

::testing::AssertionResult buttonFits(const QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  return fits(button, button->text(), button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button));
}

::testing::AssertionResult editFits(const QLineEdit* edit) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
  // QLineEdit keeps 2 pixels left and right and 1 above and below the text.
  const QRect room =
      edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).adjusted(2, 1, -2, -1);
  return fits(edit, edit->text(), room);
}

::testing::AssertionResult cellFits(const QTableWidget* grid, int row, int col) {
  QStyleOptionViewItem option;
  option.initFrom(grid->viewport());
  option.font = grid->font();
  option.features = QStyleOptionViewItem::HasDisplay;
  option.text = grid->item(row, col)->text();
  option.rect = grid->visualRect(grid->model()->index(row, col));
  return fits(grid, option.text, grid->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, grid));
}

// The desktop font is set before the window is built, and put back after.
class WindowFontTest : public ::testing::Test, private LargeDesktopFont, protected WindowInFolder {
 protected:
  // Start-up with the widest register captions the table shows: 40001>>
  // and on, in every read's 800-twip caption column. No slot is saved and
  // every host is 127.0.0.1, so nothing connects.
  void startUp() {
    testing::SettingIni ini;
    for (int i = 0; i < kSlots; ++i) ini.device(i, 50200);
    for (int r = 0; r < kReadDefs; ++r) ini.read(r, "40001", "29");
    std::ofstream(folder.filePath("setting.ini").toStdString(), std::ios::binary) << ini.text();
    events.load();
    model.tloading.setEnabled(false);
    view.refresh();
  }

  TwipScale scale{view};
};

TEST_F(WindowFontTest, TheWindowKeepsItsOwnFontWhateverTheDesktops) {
  EXPECT_EQ(view.font().pixelSize(), scale.y(165));
  EXPECT_EQ(widget<QLineEdit>("txtIP1")->font(), view.font());
  EXPECT_EQ(widget<QTableWidget>("tabel")->font(), view.font());
  const QString family = QFontInfo(view.font()).family();
  EXPECT_TRUE(family == "Liberation Sans" || family == "Arimo" || family == "Arial")
      << family.toStdString() << " has other widths than the layout was drawn for (fonts-liberation2 is missing?)";
}

TEST_F(WindowFontTest, EveryCaptionAndStatusTextFitsItsControl) {
  startUp();
  // What is never shown need not fit: the hidden buttons, the captions
  // meant for screen readers only.
  const auto shown = [this](const QWidget* widget) { return widget->isVisibleTo(&view); };
  for (QLabel* label : view.findChildren<QLabel*>()) {
    if (shown(label)) {
      EXPECT_TRUE(labelFits(label));
    }
  }
  for (QPushButton* button : view.findChildren<QPushButton*>()) {
    if (shown(button)) {
      EXPECT_TRUE(buttonFits(button));
    }
  }
  for (QLineEdit* edit : view.findChildren<QLineEdit*>()) EXPECT_TRUE(editFits(edit));
  for (QGroupBox* frame : view.findChildren<QGroupBox*>()) {
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxLabel;
    EXPECT_TRUE(fits(frame, frame->title(),
                     frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame)));
  }

  for (int col = 2; col <= 10; col += 2) model.tabel.setText(1, col, "65535");
  view.refresh();
  // The fixed row and column are the headers: table row and column are
  // the model's less one.
  auto* grid = widget<QTableWidget>("tabel");
  ASSERT_EQ(grid->rowCount(), 29);
  for (int col = 0; col < 10; ++col)
    for (const int row : {0, 28}) {
      if (grid->item(row, col) != nullptr) {
        EXPECT_TRUE(cellFits(grid, row, col)) << row << ", " << col;
      }
    }
  EXPECT_EQ(grid->item(28, 8)->text(), "40029>>");
  EXPECT_EQ(grid->item(0, 9)->text(), "65535");

  const QString status_texts[] = {"Tidak bisa Connect ", "Not connected", "Transmit..............",
                                  "Error disconnect!", "Connected OK", "Disconnected", "Data Loss", "Exception 11"};
  for (const QString& text : status_texts) {
    model.lblStatus[1].setCaption(text.toStdString());
    view.refresh();
    EXPECT_TRUE(labelFits(widget<QLabel>("lblStatus1")));
  }
  model.Label4.setCaption("Gagal koneksi...10");
  view.refresh();
  EXPECT_TRUE(labelFits(widget<QLabel>("Label4")));
}

}  // namespace
}  // namespace rtupoll
