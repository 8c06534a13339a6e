// The window on screen (offscreen): what it shows before start-up, how the
// operator's input reaches the model, and how model changes come back.

#include "view/option_ip_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include "qt/support/input.h"
#include "qt/support/loopback.h"
#include "qt/support/window_in_folder.h"
#include "view/twips.h"

// Qt's own way (QtTest's) to mark an event as the window system's.
class QSpontaneKeyEvent {
 public:
  static void setSpontaneous(QEvent& event) { event.setSpontaneous(); }
};

namespace rtupoll {
namespace {

using namespace std::chrono_literals;
using testing::clickCenter;
using testing::WindowInFolder;
using testing::pressKey;
using testing::typeText;
using testing::waitUntil;

constexpr Nanos kPatience = 20s;

class OptionIPViewTest : public ::testing::Test, protected WindowInFolder {
 protected:
  QColor paletteColor(const char* name, QPalette::ColorRole role) {
    return widget<QWidget>(name)->palette().color(role);
  }

  TwipScale scale{view};
};

TEST_F(OptionIPViewTest, BeforeStartUpTheWindowShowsItsCreationState) {
  EXPECT_EQ(view.windowTitle(), "Form1");
  EXPECT_EQ(view.size(), QSize(scale.x(14025), scale.y(6255)));
  EXPECT_EQ(view.width(), 14025 * view.logicalDpiX() / 1440);

  const int frame_tops[] = {1080, 2640, 4320};
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i);
    auto* frame = widget<QGroupBox>(("frmDevice" + n).c_str());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->title(), "Device A");
    EXPECT_FALSE(frame->isEnabled());
    EXPECT_EQ(frame->geometry(), scale.rect({240, frame_tops[i], 3855, 1575}));
    auto* host = widget<QLineEdit>(("txtIP" + n).c_str());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->parentWidget(), frame);
    EXPECT_EQ(host->geometry(), scale.rect({120, 600, 2535, 375}));
    EXPECT_FALSE(widget<QPushButton>(("cmdConnect" + n).c_str())->isEnabled());
    EXPECT_EQ(widget<QLabel>(("lblStatus" + n).c_str())->text(), "Label3");
    EXPECT_EQ(paletteColor(("lblStatus" + n).c_str(), QPalette::Window), QColor(255, 128, 128));
    EXPECT_EQ(widget<QLineEdit>(("txtPort" + n).c_str())->text(), "502");
  }
  EXPECT_FALSE(widget<QPushButton>("cmdRead")->isVisibleTo(&view));
  EXPECT_FALSE(widget<QPushButton>("cmdConnectDev")->isVisibleTo(&view));
  EXPECT_TRUE(widget<QLabel>("Label4")->isVisibleTo(&view));
  EXPECT_EQ(widget<QLabel>("Label5")->text(), "DEVICE");
  EXPECT_EQ(widget<QLabel>("Label30")->text(), "Star Register");
  EXPECT_EQ(widget<QLabel>("Label31")->text(), "LegRegister");
  EXPECT_EQ(widget<QLabel>("lb_file")->text(), "Label6");
  EXPECT_EQ(widget<QLineEdit>("txt_print")->text(), "Text1");
  EXPECT_EQ(widget<QLineEdit>("strReg3")->geometry(), scale.rect({5640 + 3 * 960, 1320, 855, 285}));
  // Text boxes are white as the desktop paints them; labels have the face colour.
  EXPECT_EQ(paletteColor("strReg3", QPalette::Base), QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(paletteColor("Label5", QPalette::Window), QApplication::palette().color(QPalette::Button));

  auto* choice = widget<QComboBox>("LstIP0");
  ASSERT_NE(choice, nullptr);
  ASSERT_EQ(choice->count(), 3);
  EXPECT_EQ(choice->itemText(0), "-A");
  EXPECT_EQ(choice->itemText(2), "-C");
  EXPECT_TRUE(choice->isEditable());
  EXPECT_EQ(choice->currentText(), "");

  auto* bar = widget<QProgressBar>("bar0");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 1000);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_FALSE(bar->isTextVisible());

  auto* grid = widget<QTableWidget>("tabel");
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->geometry(), scale.rect({4200, 2400, 9615, 3615}));
  // The fixed row and column are the headers.
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->columnCount(), 1);
  EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

  EXPECT_FALSE(model.tloading.enabled());
  EXPECT_FALSE(model.Timer2.enabled());
  EXPECT_FALSE(model.Timer3.enabled());
  EXPECT_FALSE(model.Timer4.enabled());
}

// The window can be given any size; nothing moves or grows with it.
TEST_F(OptionIPViewTest, ResizedWindowKeepsItsControlsInPlace) {
  auto* frame = widget<QGroupBox>("frmDevice1");
  ASSERT_NE(frame, nullptr);
  const QRect before = frame->geometry();
  const QSize larger = view.size() + QSize(300, 200);
  view.resize(larger);
  EXPECT_EQ(view.size(), larger);
  view.resize(view.size() / 2);
  EXPECT_EQ(view.size(), larger / 2);
  EXPECT_EQ(frame->geometry(), before);
}

TEST_F(OptionIPViewTest, TypingAndChoosingReachTheModel) {
  model.frmDevice[0].setEnabled(true);
  view.refresh();

  auto* host = widget<QLineEdit>("txtIP0");
  host->selectAll();
  typeText(host, "127.0.0.1");
  EXPECT_EQ(model.txtIP[0].text(), "127.0.0.1");

  auto* first = widget<QLineEdit>("strReg2");
  first->selectAll();
  typeText(first, "300");
  EXPECT_EQ(model.strReg[2].text(), "300");
  view.refresh();
  EXPECT_EQ(first->text(), "300");
  EXPECT_EQ(first->cursorPosition(), 3);

  auto* choice = widget<QComboBox>("LstIP1");
  ASSERT_NE(model.LstIP[1].listIndex(), 2);
  choice->lineEdit()->selectAll();
  typeText(choice->lineEdit(), "-C");
  EXPECT_EQ(model.LstIP[1].listIndex(), 2);
  choice->lineEdit()->selectAll();
  typeText(choice->lineEdit(), "xyz");
  EXPECT_EQ(model.LstIP[1].listIndex(), -1);
  view.refresh();
  // A text that names no entry stays as typed; it is no choice at all.
  EXPECT_EQ(choice->currentText(), "xyz");
  EXPECT_EQ(choice->count(), 3);
  // An entry typed in another letter case or between blanks is chosen, and
  // shown as written.
  for (const auto& [typed, index] : {std::pair{"-c", 2}, {" -b ", 1}}) {
    choice->lineEdit()->selectAll();
    typeText(choice->lineEdit(), typed);
    EXPECT_EQ(model.LstIP[1].listIndex(), index) << typed;
    EXPECT_EQ(choice->currentText(), choice->itemText(index)) << typed;
  }

  pressKey(choice, Qt::Key_Down);
  const int chosen = choice->currentIndex();
  ASSERT_GE(chosen, 0);
  EXPECT_EQ(model.LstIP[1].listIndex(), chosen);
  pressKey(choice, Qt::Key_Return);
  EXPECT_EQ(choice->count(), 3) << "Enter added an entry";
}

TEST_F(OptionIPViewTest, ButtonsInADisabledFrameTakeNoClick) {
  auto* disconnect = widget<QPushButton>("cmdDisconnect0");
  clickCenter(disconnect);
  disconnect->click();
  EXPECT_EQ(model.lblStatus[0].caption(), "Label3");

  // Once the frame is enabled, the same click runs the handler: the closed
  // slot is reported disconnected at once.
  model.frmDevice[0].setEnabled(true);
  view.refresh();
  clickCenter(disconnect);
  EXPECT_EQ(model.lblStatus[0].caption(), "Disconnected");
  ASSERT_TRUE(waitUntil(env, [&] { return widget<QLabel>("lblStatus0")->text() == "Disconnected"; }, kPatience));
  EXPECT_EQ(paletteColor("lblStatus0", QPalette::Window), QColor(255, 0, 0));
  EXPECT_EQ(model.lblStatus[1].caption(), "Label3");
}

TEST_F(OptionIPViewTest, ModelChangesArriveCoalescedAndLeaveEqualWidgetsAlone) {
  auto* bar = widget<QProgressBar>("bar0");
  for (int value = 1; value <= 500; ++value) model.bar[0].setValue(static_cast<float>(value));
  EXPECT_EQ(bar->value(), 0) << "the view copied a change at once instead of coalescing";
  ASSERT_TRUE(waitUntil(env, [&] { return bar->value() == 500; }, kPatience));

  // A text box whose text already matches is not rewritten: the
  // operator's cursor stays where it is.
  auto* host = widget<QLineEdit>("txtIP0");
  host->setCursorPosition(3);
  model.txtIP[0].setBackColor(colors::kGreen);
  ASSERT_TRUE(waitUntil(env, [&] { return host->palette().color(QPalette::Base) == QColor(0, 255, 0); }, kPatience));
  EXPECT_EQ(host->cursorPosition(), 3);
  model.txtIP[0].setText("device-a");
  ASSERT_TRUE(waitUntil(env, [&] { return host->text() == "device-a"; }, kPatience));

  auto* choice = widget<QComboBox>("LstIP2");
  model.LstIP[2].setListIndex(2);
  ASSERT_TRUE(waitUntil(env, [&] { return choice->currentText() == "-C"; }, kPatience));
  model.LstIP[2].setListIndex(-1);
  ASSERT_TRUE(waitUntil(env, [&] { return choice->currentText().isEmpty(); }, kPatience));

  model.Label4.setVisible(false);
  model.Label4.setCaption("Gagal koneksi...3");
  ASSERT_TRUE(waitUntil(env, [&] { return !widget<QLabel>("Label4")->isVisibleTo(&view); }, kPatience));
  EXPECT_EQ(widget<QLabel>("Label4")->text(), "Gagal koneksi...3");

  // The wait pointer is on while the model asks for it, and off after.
  model.form.setMousePointer(Form::kWaitPointer);
  ASSERT_TRUE(waitUntil(env, [] { return QApplication::overrideCursor() != nullptr; }, kPatience));
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  model.form.setMousePointer(Form::kDefaultPointer);
  ASSERT_TRUE(waitUntil(env, [] { return QApplication::overrideCursor() == nullptr; }, kPatience));
}

TEST_F(OptionIPViewTest, TheGridFollowsShapeSizesAndCells) {
  auto* grid = widget<QTableWidget>("tabel");
  ResultsTable& table = model.tabel;
  table.setRows(30);
  table.setCols(30);
  table.setColWidth(0, 400);
  table.setColWidth(1, 800);
  table.setRowHeight(300);
  table.setText(3, 1, "102>>");
  table.setText(3, 2, "65535");
  // Model row r, column c (from 1) is table row r - 1, column c - 1.
  ASSERT_TRUE(waitUntil(env, [&] { return grid->rowCount() == 29 && grid->columnCount() == 29; }, kPatience));
  EXPECT_EQ(grid->verticalHeader()->width(), scale.x(400));
  EXPECT_EQ(grid->horizontalHeader()->height(), scale.y(300));
  EXPECT_EQ(grid->columnWidth(0), scale.x(800));
  EXPECT_EQ(grid->columnWidth(24), scale.x(ResultsTable::kDefaultColumnWidth));
  EXPECT_EQ(grid->rowHeight(19), scale.y(300));
  ASSERT_NE(grid->item(2, 1), nullptr);
  EXPECT_EQ(grid->item(2, 0)->text(), "102>>");
  EXPECT_EQ(grid->item(2, 1)->text(), "65535");
  EXPECT_FALSE(grid->item(2, 1)->flags() & Qt::ItemIsEditable);

  table.setText(3, 2, "");
  ASSERT_TRUE(waitUntil(env, [&] { return grid->item(2, 1)->text().isEmpty(); }, kPatience));
  EXPECT_EQ(grid->item(2, 0)->text(), "102>>");
}

// The fixed row and column stay where they are when the grid is paged to
// its far corner, empty and taking no click; a caption too wide for its
// cell is clipped, never elided into another number.
TEST_F(OptionIPViewTest, TheFixedRowAndColumnStayAndCellsAreClipped) {
  auto* grid = widget<QTableWidget>("tabel");
  model.tabel.setRows(30);
  model.tabel.setCols(30);
  model.tabel.setText(29, 29, "40001>>");
  view.show();
  ASSERT_TRUE(waitUntil(env, [&] { return grid->item(28, 28) != nullptr; }, kPatience));
  const QPoint top = grid->horizontalHeader()->pos();
  const QPoint left = grid->verticalHeader()->pos();
  grid->scrollToItem(grid->item(28, 28));
  EXPECT_GT(grid->rowAt(0), 0) << "the grid did not scroll";
  EXPECT_GT(grid->columnAt(0), 0);
  for (QHeaderView* header : {grid->horizontalHeader(), grid->verticalHeader()}) {
    EXPECT_TRUE(header->isVisible());
    EXPECT_FALSE(header->sectionsClickable());
  }
  EXPECT_EQ(grid->horizontalHeader()->pos(), top);
  EXPECT_EQ(grid->verticalHeader()->pos(), left);
  EXPECT_TRUE(grid->model()->headerData(28, Qt::Horizontal).toString().isEmpty());
  EXPECT_TRUE(grid->model()->headerData(28, Qt::Vertical).toString().isEmpty());

  EXPECT_EQ(grid->textElideMode(), Qt::ElideNone);
  EXPECT_FALSE(grid->wordWrap());
}

TEST_F(OptionIPViewTest, ClosingRunsShutDownAndIsNeverRefused) {
  view.show();
  QCloseEvent close;
  QApplication::sendEvent(&view, &close);
  EXPECT_TRUE(close.isAccepted());
  EXPECT_TRUE(events.unloaded());

  QFile settings(folder.filePath("setting.ini"));
  ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
  const QByteArray text = settings.readAll();
  EXPECT_TRUE(text.startsWith("[set]\r\nScon0=True\r\n")) << text.toStdString();
  EXPECT_EQ(text.count("\r\n"), 25);
  EXPECT_TRUE(view.close());
}

// A set-up that cannot be saved is told after a close from the window
// system (the close button, Alt+F4), which has an operator behind it, in a
// message naming the file and the reason.
TEST_F(OptionIPViewTest, AFailedSaveIsToldInTheWindowAfterTheOperatorsClose) {
  ASSERT_TRUE(QDir(folder.path()).mkdir("setting.ini"));  // no file can take its place
  view.show();
  QString told;
  QTimer::singleShot(0, &view, [&] {
    if (auto* box = view.findChild<QMessageBox*>("settingsNotSaved")) {
      told = box->text();
      box->accept();
    }
  });
  QCloseEvent close;
  QSpontaneKeyEvent::setSpontaneous(close);
  qApp->notify(&view, &close);  // as it comes: sendEvent would clear the mark
  EXPECT_TRUE(close.isAccepted());
  EXPECT_TRUE(events.unloaded());
  EXPECT_TRUE(told.contains(folder.filePath("setting.ini"))) << told.toStdString();
  EXPECT_TRUE(told.contains("it is not a regular file")) << told.toStdString();
}

}  // namespace
}  // namespace rtupoll
