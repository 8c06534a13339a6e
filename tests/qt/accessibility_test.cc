// The window without a mouse and through a screen reader's eyes (offscreen):
// Tab leaves the results table, every input has a name of its own, and the
// visible captions stay what they were.

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>

#include <gtest/gtest.h>

#include "qt/support/input.h"
#include "qt/support/loopback.h"
#include "qt/support/window_in_folder.h"
#include "view/option_ip_view.h"

namespace rtupoll {
namespace {

using testing::WindowInFolder;
using testing::pressKey;

QString spokenName(QWidget* widget) {
  QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(widget);
  return spoken == nullptr ? QString() : spoken->text(QAccessible::Name);
}

// The texts of the labels tied to the widget, as a screen reader finds them.
QStringList captionsOf(QWidget* widget) {
  QStringList captions;
  QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(widget);
  for (const auto& [label, relation] : spoken->relations(QAccessible::Label))
    if (auto* caption = qobject_cast<QLabel*>(label->object())) captions << caption->text();
  return captions;
}

class AccessibilityTest : public ::testing::Test, protected WindowInFolder {};

TEST_F(AccessibilityTest, TabMovesFromTheResultsTableToTheNextControl) {
  model.tabel.setRows(30);
  model.tabel.setCols(30);
  view.refresh();
  view.show();
  auto* grid = widget<QTableWidget>("tabel");
  grid->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(view.focusWidget(), grid);
  const QModelIndex cell = grid->currentIndex();

  pressKey(grid, Qt::Key_Tab);
  EXPECT_NE(view.focusWidget(), grid);
  EXPECT_EQ(grid->currentIndex(), cell) << "Tab moved between the cells";
  pressKey(view.focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(view.focusWidget(), grid);
}

// No caret blinks in a box the operator has not chosen; the first Tab
// chooses the first box, the data line.
TEST_F(AccessibilityTest, TheWindowOpensWithNoBoxChosenAndTabChoosesTheFirst) {
  view.show();
  view.activateWindow();
  ASSERT_TRUE(waitUntil(env, [&] { return view.isActiveWindow(); }, std::chrono::seconds(10)));
  EXPECT_EQ(QApplication::focusWidget(), &view);
  pressKey(&view, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), widget("txt_print"));
}

TEST_F(AccessibilityTest, EveryInputHasANameOfItsOwn) {
  QList<QWidget*> inputs;
  for (QLineEdit* edit : view.findChildren<QLineEdit*>())
    if (qobject_cast<QComboBox*>(edit->parentWidget()) == nullptr) inputs << edit;
  for (QComboBox* choice : view.findChildren<QComboBox*>()) inputs << choice;
  for (QPushButton* button : view.findChildren<QPushButton*>())
    if (button->isVisibleTo(&view)) inputs << button;
  inputs << widget("tabel") << widget("bar0");
  ASSERT_EQ(inputs.size(), 3 * 4 + 1 + 5 * 3 + 2);

  QSet<QString> names;
  for (QWidget* input : inputs) {
    const QString name = spokenName(input);
    EXPECT_FALSE(name.isEmpty()) << input->objectName().toStdString();
    EXPECT_FALSE(names.contains(name)) << name.toStdString() << " twice";
    names << name;
  }

  EXPECT_EQ(spokenName(widget("txtIP1")), "Device 2 host");
  EXPECT_EQ(spokenName(widget("txtPort2")), "Device 3 port");
  EXPECT_EQ(spokenName(widget("cmdDisconnect0")), "Disconnect device 1");
  EXPECT_EQ(spokenName(widget("frmDevice2")), "Device 3");
  EXPECT_EQ(spokenName(widget("strReg4")), "Read 5 first register");
  EXPECT_EQ(spokenName(widget("LegReg0")), "Read 1 number of registers");
  EXPECT_EQ(spokenName(widget("txt_print")), "Data line");
  // The entry field of a device choice is announced as the choice itself.
  auto* choice = widget<QComboBox>("LstIP3");
  EXPECT_EQ(spokenName(choice->lineEdit()), "Read 4 device");
  EXPECT_EQ(captionsOf(choice), QStringList{"Read 4 device"});
  EXPECT_EQ(choice->currentText(), "");
}

TEST_F(AccessibilityTest, LabelsAreTiedToTheirBoxesAndKeepTheirCaptions) {
  for (int i = 0; i < kSlots; ++i) {
    const QString n = QString::number(i);
    auto* host_label = widget<QLabel>("Label1" + n);
    EXPECT_EQ(host_label->buddy(), widget("txtIP" + n));
    EXPECT_EQ(host_label->text(), "IP Addres :");
    auto* port_label = widget<QLabel>("Label2" + n);
    EXPECT_EQ(port_label->buddy(), widget("txtPort" + n));
    EXPECT_EQ(port_label->text(), "Port :");
    EXPECT_EQ(widget<QPushButton>("cmdConnect" + n)->text(), "Connect");
  }
  // Tied by buddy, a caption names the box it captions to a screen reader.
  EXPECT_EQ(captionsOf(widget("txtIP0")), QStringList{"IP Addres :"});
  EXPECT_EQ(captionsOf(widget("txtPort2")), QStringList{"Port :"});
}

TEST_F(AccessibilityTest, AStatusLabelIsAnnouncedWithItsDeviceAndItsCurrentText) {
  EXPECT_EQ(spokenName(widget("lblStatus0")), "Device 1 status: Label3");
  model.lblStatus[2].setCaption("Tidak bisa Connect ");
  view.refresh();
  EXPECT_EQ(widget<QLabel>("lblStatus2")->text(), "Tidak bisa Connect ");
  EXPECT_EQ(spokenName(widget("lblStatus2")), "Device 3 status: Tidak bisa Connect ");
  model.Label4.setCaption("Gagal koneksi...4");
  view.refresh();
  EXPECT_EQ(spokenName(widget("Label4")), "Reconnect countdown: Gagal koneksi...4");
}

}  // namespace
}  // namespace rtupoll
